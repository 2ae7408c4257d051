// Destination parts on Windows, through the runtime's low-level files.
#include "platform/dest_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

bool dest_exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int dest_create(const char* path)
{
    int fd = _open(path, _O_WRONLY | _O_BINARY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE);
    return fd == -1 ? NO_DEST : fd;
}

int dest_reopen(const char* path)
{
    int fd = _open(path, _O_WRONLY | _O_BINARY);
    return fd == -1 ? NO_DEST : fd;
}

uint32_t dest_write(int dest, const void* buffer, uint32_t count)
{
    // One write; a short count is the failure, whatever the error code says.
    int put = _write(dest, buffer, count);
    return put < 0 ? 0 : static_cast<uint32_t>(put);
}

bool dest_close(int dest)
{
    // _commit flushes the file's buffers to the disk.
    bool flushed = _commit(dest) == 0;
    bool closed = _close(dest) == 0;
    return flushed && closed;
}

bool dest_sync_directory(const char*)
{
    // NTFS and FAT keep a file's name with its data; flushing the file does both.
    return true;
}
