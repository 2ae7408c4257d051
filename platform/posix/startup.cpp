// Process set-up on POSIX.
#include "platform/startup.h"

#include <unistd.h>

#include <cstdio>

void platform_startup()
{
    // Prompts and progress end without a line end; on a terminal show them at once.
    if (isatty(STDOUT_FILENO))
        setvbuf(stdout, nullptr, _IONBF, 0);
}
