// Failure messages and the error exit.
#include "front/status.h"

#include <cstdio>
#include <cstdlib>

void print_failure(int code)
{
    printf("\n");
    switch (code) {
    case STATUS_BAD_EXTENSION: printf("Invalid extension for file %s\n", dest_path); break;
    case STATUS_SOURCE_OPEN: printf("Unable to open %s\n", source_path); break;
    case STATUS_SOURCE_READ: printf("Error reading from file %s\n", source_path); break;
    case STATUS_DEST_OPEN: printf("Unable to open %s\n", dest_path); break;
    case STATUS_DEST_WRITE: printf("Error writing to file %s\n", dest_path); break;
    case STATUS_OUT_OF_MEMORY: printf("Out of memory.\n"); break;
    case STATUS_BAD_SIGNATURE: printf("File signature check failed.\n"); break;
    default: break;
    }
}

void error_exit(int code)
{
    print_failure(code);
    exit(code);
}
