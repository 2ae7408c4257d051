// Destination parts on POSIX, through plain descriptors.
#include "platform/dest_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool dest_exists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0;
}

int dest_create(const char* path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd == -1 ? NO_DEST : fd;
}

int dest_reopen(const char* path)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    return fd == -1 ? NO_DEST : fd;
}

uint32_t dest_write(int dest, const void* buffer, uint32_t count)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    uint32_t written = 0;
    while (written < count) {
        ssize_t put = write(dest, bytes + written, count - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        written += static_cast<uint32_t>(put);
    }
    return written;
}

void dest_close(int dest)
{
    close(dest);
}
