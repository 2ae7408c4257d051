/* Preloaded into spanfetch to make the flush or the close of one destination
 * file fail, as a file system does that reports a write-back error late.
 * FLUSH_FAULT_FILE  name the file's path ends with
 * FLUSH_FAULT_CALL  fdatasync, fsync or close
 * FLUSH_FAULT_SKIP  matching calls that succeed before the one that fails
 * The failing call still does its work (a close still closes), then says EIO. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "fd_path.h"

static int should_fail(const char* call, int fd)
{
    static long skip_left = -1;
    const char* wanted_call = getenv("FLUSH_FAULT_CALL");
    const char* wanted_file = getenv("FLUSH_FAULT_FILE");
    if (wanted_call == NULL || strcmp(call, wanted_call) != 0 || !fd_path_ends_with(fd, wanted_file))
        return 0;
    if (skip_left < 0) {
        const char* text = getenv("FLUSH_FAULT_SKIP");
        skip_left = text ? atol(text) : 0;
    }
    if (skip_left > 0) {
        --skip_left;
        return 0;
    }
    return 1;
}

#define WRAP(name)                                                        \
    int name(int fd)                                                      \
    {                                                                     \
        static int (*real)(int);                                          \
        if (real == NULL)                                                 \
            real = (int (*)(int))dlsym(RTLD_NEXT, #name);                 \
        int fail = should_fail(#name, fd);                                \
        int result = real(fd);                                            \
        if (!fail)                                                        \
            return result;                                                \
        errno = EIO;                                                      \
        return -1;                                                        \
    }

WRAP(fdatasync)
WRAP(fsync)
WRAP(close)
