// Source parts on Windows: unbuffered reads where the volume's sectors allow
// 2048-byte reads, ordinary reads where they do not, with 64-bit positions.
#include "platform/source_file.h"

#include <windows.h>

#include <cstring>

#include "platform/path_rules.h"

struct SourceFile {
    HANDLE handle;
    bool unbuffered;
    uint64_t position;
    // Kept to reopen the part for ordinary reads when unbuffered ones are refused.
    char path[PATH_BUFFER_SIZE];
};

namespace {

constexpr uint32_t READ_ALIGNMENT = 2048;

// Only one part is open at a time; two slots leave room to spare without allocating.
SourceFile slots[2] = {{INVALID_HANDLE_VALUE, false, 0, {}}, {INVALID_HANDLE_VALUE, false, 0, {}}};

HANDLE open_for_reading(const char* path, bool unbuffered)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       unbuffered ? FILE_FLAG_NO_BUFFERING : FILE_ATTRIBUTE_NORMAL, nullptr);
}

// True when the sector size of the volume holding path divides 2048, so that
// unbuffered reads at 2048-byte positions and counts are valid there.
bool unbuffered_reads_suit(const char* path)
{
    char root[MAX_PATH];
    DWORD sectors_per_cluster, bytes_per_sector, free_clusters, total_clusters;
    if (!GetVolumePathNameA(path, root, sizeof root))
        return false;
    if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters, &total_clusters))
        return false;
    return bytes_per_sector != 0 && READ_ALIGNMENT % bytes_per_sector == 0;
}

// Replaces the unbuffered handle by an ordinary one on the same part.
bool switch_to_buffered_reads(SourceFile* file)
{
    HANDLE handle = open_for_reading(file->path, false);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file->handle);
    file->handle = handle;
    file->unbuffered = false;
    return true;
}

bool place_at(HANDLE handle, uint64_t position)
{
    LONG high = static_cast<LONG>(position >> 32);
    DWORD low = SetFilePointer(handle, static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

} // namespace

bool source_exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

SourceFile* source_open(const char* path)
{
    SourceFile* file = nullptr;
    for (SourceFile& slot : slots)
        if (slot.handle == INVALID_HANDLE_VALUE) {
            file = &slot;
            break;
        }
    if (file == nullptr || strlen(path) >= sizeof file->path)
        return nullptr;

    bool unbuffered = unbuffered_reads_suit(path);
    HANDLE handle = open_for_reading(path, unbuffered);
    if (handle == INVALID_HANDLE_VALUE && unbuffered && GetLastError() == ERROR_INVALID_PARAMETER) {
        unbuffered = false;
        handle = open_for_reading(path, false);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;

    file->handle = handle;
    file->unbuffered = unbuffered;
    file->position = 0;
    memcpy(file->path, path, strlen(path) + 1);
    return file;
}

uint64_t source_size(SourceFile* file)
{
    DWORD high = 0;
    DWORD low = GetFileSize(file->handle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    return (uint64_t{high} << 32) | low;
}

void source_seek(SourceFile* file, uint64_t offset)
{
    file->position = offset;
}

uint32_t source_read(SourceFile* file, void* buffer, uint32_t count)
{
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    uint32_t delivered = 0;
    while (delivered < count) {
        uint64_t position = file->position + delivered;
        // Unbuffered reads start only on a sector boundary.
        if (file->unbuffered && position % READ_ALIGNMENT != 0 && !switch_to_buffered_reads(file))
            break;
        DWORD wanted = count - delivered;
        if (file->unbuffered) {
            // Whole sectors only; at the end of the part the read delivers what
            // is there. The buffer has room for the rounding.
            wanted = (wanted + READ_ALIGNMENT - 1) / READ_ALIGNMENT * READ_ALIGNMENT;
        }
        DWORD got = 0;
        BOOL read_ok = place_at(file->handle, position) && ReadFile(file->handle, bytes + delivered, wanted, &got, nullptr);
        if (!read_ok && got == 0 && file->unbuffered && GetLastError() == ERROR_INVALID_PARAMETER &&
            switch_to_buffered_reads(file))
            continue;
        if (got == 0)
            break;
        uint32_t left = count - delivered;
        delivered += got < left ? got : left;
        // An unbuffered read short of a whole sector has met the end of the part.
        if (file->unbuffered && got % READ_ALIGNMENT != 0)
            break;
    }
    file->position += delivered;
    return delivered;
}

void source_close(SourceFile* file)
{
    CloseHandle(file->handle);
    file->handle = INVALID_HANDLE_VALUE;
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
                GetFileInformationByHandle(source->handle, &source_info) &&
                dest_info.dwVolumeSerialNumber == source_info.dwVolumeSerialNumber &&
                dest_info.nFileIndexHigh == source_info.nFileIndexHigh &&
                dest_info.nFileIndexLow == source_info.nFileIndexLow;
    CloseHandle(dest);
    return same;
}
