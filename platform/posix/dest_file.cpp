// Destination parts on POSIX, through plain descriptors, written back to the
// disk while the copy goes on and flushed before they are reported written.
#include "platform/dest_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path_rules.h"

namespace {

// Write-back is started for every this many bytes written, and the window
// before it is waited for, so dirty memory stays within two windows on a
// slow destination and the flush at the close finds little left. Windows of
// a few MiB cost up to a tenth of the copy's time where the source and the
// destination share a disk, which then switches between them more often.
constexpr uint64_t WRITEBACK_WINDOW = 64u << 20;

// The part being written: only one is open at a time.
struct Writeback {
    int fd = -1;
    uint64_t written = 0;
    uint64_t started = 0;  // write-back was started for [0, started)
};
Writeback current;

void track(int fd)
{
    current = {fd, 0, 0};
}

// Where the file system does not support it, sync_file_range fails and the
// flush at the close does all the work, as it would have anyway.
void start_writeback(int fd, uint64_t written)
{
    if (fd != current.fd)
        return;
    current.written += written;
    if (current.written - current.started < WRITEBACK_WINDOW)
        return;
    uint64_t window_start = current.started;
    uint64_t window_length = current.written - window_start;
    sync_file_range(fd, static_cast<off_t>(window_start), static_cast<off_t>(window_length), SYNC_FILE_RANGE_WRITE);
    if (window_start >= WRITEBACK_WINDOW) {
        // The window before this one has had a whole window's time to reach the disk.
        sync_file_range(fd, static_cast<off_t>(window_start - WRITEBACK_WINDOW),
                        static_cast<off_t>(WRITEBACK_WINDOW),
                        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    }
    current.started = current.written;
}

int retrying(int (*call)(int), int fd)
{
    int result;
    do
        result = call(fd);
    while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

bool dest_exists(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0;
}

int dest_create(const char* path)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd == -1)
        return NO_DEST;
    track(fd);
    return fd;
}

int dest_reopen(const char* path)
{
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd == -1)
        return NO_DEST;
    track(fd);
    return fd;
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
    start_writeback(dest, written);
    return written;
}

bool dest_close(int dest)
{
    // EINVAL: a special file, which has nothing to flush.
    bool flushed = retrying(fdatasync, dest) == 0 || errno == EINVAL;
    if (dest == current.fd)
        current.fd = -1;
    // Not retried on EINTR: on Linux the descriptor is gone whatever close returns.
    bool closed = close(dest) == 0;
    return flushed && closed;
}

bool dest_sync_directory(const char* path)
{
    char directory[PATH_BUFFER_SIZE];
    const char* slash = strrchr(path, '/');
    if (slash == nullptr) {
        memcpy(directory, ".", 2);
    } else {
        size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
        if (length >= sizeof directory)
            return false;
        memcpy(directory, path, length);
        directory[length] = '\0';
    }
    int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd == -1)
        return false;
    // Some file systems cannot sync a directory and say so; their names are
    // then as safe as they can make them.
    bool synced = retrying(fsync, fd) == 0 || errno == EINVAL || errno == EROFS;
    close(fd);
    return synced;
}
