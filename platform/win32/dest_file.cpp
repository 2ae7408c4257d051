// Destination parts on Windows, through the runtime's low-level files.
#include "platform/dest_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform/win32/source_internal.h"

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

void dest_close(int dest)
{
    _close(dest);
}

bool dest_is_source(const char* path, SourceFile* source)
{
    // Opened for no access at all, so even a file held open elsewhere answers.
    HANDLE dest = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dest == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION dest_info;
    BY_HANDLE_FILE_INFORMATION source_info;
    bool same = GetFileInformationByHandle(dest, &dest_info) &&
                GetFileInformationByHandle(source_handle(source), &source_info) &&
                dest_info.dwVolumeSerialNumber == source_info.dwVolumeSerialNumber &&
                dest_info.nFileIndexHigh == source_info.nFileIndexHigh &&
                dest_info.nFileIndexLow == source_info.nFileIndexLow;
    CloseHandle(dest);
    return same;
}
