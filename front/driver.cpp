// The run from arguments to exit code.
#include "front/driver.h"

#include <cstdio>

#include "front/paths.h"
#include "front/prompts.h"
#include "front/status.h"
#include "platform/dest_file.h"
#include "platform/source_file.h"
#include "platform/transfer_memory.h"
#include "transfer/copy_engine.h"

char source_path[PATH_BUFFER_SIZE];
char dest_path[PATH_BUFFER_SIZE];
unsigned char* transfer_buffer;
ImageHeader header_copy;

namespace {

void print_usage()
{
    printf("spanfetch - copies a disc image spanning one or more CDs and converts it\n\n");
    printf("usage: spanfetch s: d:\\path\\filename\n");
    printf("\n");
    printf("The first parameter s: is the source cd drive letter.\n");
    printf("d:\\path\\filename is the destination for the copied files.\n");
}

void release_transfer_buffer()
{
    transfer_memory_release(transfer_buffer, CHUNK_SIZE);
    transfer_buffer = nullptr;
}

} // namespace

int convert_image()
{
    transfer_buffer = transfer_memory_get(CHUNK_SIZE);
    if (transfer_buffer == nullptr)
        return STATUS_OUT_OF_MEMORY;

    SourceFile* part0 = open_source_part();
    if (part0 == nullptr) {
        release_transfer_buffer();
        return STATUS_SOURCE_OPEN;
    }

    int status = read_header(part0, transfer_buffer, header_copy);
    if (status == STATUS_OK) {
        switch (classify_signature(header_copy)) {
        case SIGNATURE_QRV:
            // The copy engine closes part 0 from here on.
            status = copy_parts(part0, header_copy);
            release_transfer_buffer();
            if (status == STATUS_OK)
                printf("\nCompleted Successfuly\n");
            return status;
        case SIGNATURE_IMG:
            printf("%s is already an IMG file.\n", source_path);
            break;
        case SIGNATURE_OTHER:
            status = STATUS_BAD_SIGNATURE;
            break;
        }
    }
    source_close(part0);
    release_transfer_buffer();
    return status;
}

int run_conversion(int argc, char** argv)
{
    if (argc != 3) {
        print_usage();
        return STATUS_USAGE;
    }

    int status = compose_source_path(argv[1]);
    if (status != STATUS_OK)
        error_exit(status);
    status = compose_dest_path(argv[2]);
    if (status != STATUS_OK)
        error_exit(status);

    // Only part 0 is guarded; later parts are overwritten without asking.
    if (dest_exists(dest_path) && !confirm_overwrite())
        return STATUS_USAGE;

    status = convert_image();
    if (status != STATUS_OK)
        error_exit(status);
    return STATUS_OK;
}
