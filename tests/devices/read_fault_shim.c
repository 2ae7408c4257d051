/* Preloaded into spanfetch to make chosen bytes of one file unreadable.
 * FAULT_FILE    name the file's path ends with
 * FAULT_OFFSET  first unreadable byte
 * FAULT_LENGTH  number of unreadable bytes
 * FAULT_TIMES   reads of the range that fail before it reads again (-1: always)
 * FAULT_EINTR   number of reads of the file interrupted before any data moves
 * A read that starts before the range delivers the bytes before it; one that
 * starts inside it fails with EIO. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include "fd_path.h"

static long long setting(const char* name, long long fallback)
{
    const char* text = getenv(name);
    return text ? atoll(text) : fallback;
}

static int is_fault_file(int fd)
{
    return fd_path_ends_with(fd, getenv("FAULT_FILE"));
}

static long long failures_left = -2;
static long long interruptions_left = -2;

static ssize_t faulty_pread(int fd, void* buffer, size_t count, off_t offset)
{
    static ssize_t (*real_pread)(int, void*, size_t, off_t);
    if (real_pread == NULL)
        real_pread = (ssize_t (*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread64");
    if (!is_fault_file(fd))
        return real_pread(fd, buffer, count, offset);

    if (interruptions_left == -2)
        interruptions_left = setting("FAULT_EINTR", 0);
    if (interruptions_left > 0) {
        --interruptions_left;
        errno = EINTR;
        return -1;
    }

    if (failures_left == -2)
        failures_left = setting("FAULT_TIMES", -1);
    long long start = setting("FAULT_OFFSET", -1);
    long long end = start + setting("FAULT_LENGTH", 0);
    if (start < 0 || failures_left == 0 || offset >= end || offset + (long long)count <= start)
        return real_pread(fd, buffer, count, offset);
    if (failures_left > 0)
        --failures_left;
    if (offset < start)
        return real_pread(fd, buffer, (size_t)(start - offset), offset);
    errno = EIO;
    return -1;
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    return faulty_pread(fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset)
{
    return faulty_pread(fd, buffer, count, offset);
}
