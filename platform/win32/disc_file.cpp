// Files on Windows: unbuffered reads where the volume's sectors allow
// 2048-byte reads, ordinary reads where they do not, with 64-bit positions;
// path kinds and directory listings.
#include "platform/disc_file.h"

#include <windows.h>

#include <cstring>

#include "platform/path_rules.h"

struct DiscFile {
    HANDLE handle;
    bool unbuffered;
    // Kept to reopen the file for ordinary reads when unbuffered ones are refused.
    char path[PATH_BUFFER_SIZE];
};

struct DiscDirectory {
    HANDLE find;
    bool first_pending;  // the entry FindFirstFileA returned is still to be delivered
    WIN32_FIND_DATAA entry;
};

namespace {

// A source part, and an image looked into while it is open; room to spare without allocating.
DiscFile slots[4] = {{INVALID_HANDLE_VALUE, false, {}}, {INVALID_HANDLE_VALUE, false, {}},
                     {INVALID_HANDLE_VALUE, false, {}}, {INVALID_HANDLE_VALUE, false, {}}};

DiscDirectory listing = {INVALID_HANDLE_VALUE, false, {}};
char pattern[PATH_BUFFER_SIZE];

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
    return bytes_per_sector != 0 && DISC_SECTOR_SIZE % bytes_per_sector == 0;
}

// Replaces the unbuffered handle by an ordinary one on the same file.
bool switch_to_buffered_reads(DiscFile* file)
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

PathKind disc_path_kind(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PATH_MISSING;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PATH_DIRECTORY;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return PATH_OTHER;
    return PATH_FILE;
}

DiscFile* disc_open(const char* path)
{
    DiscFile* file = nullptr;
    for (DiscFile& slot : slots)
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
    memcpy(file->path, path, strlen(path) + 1);
    return file;
}

uint64_t disc_size(DiscFile* file)
{
    DWORD high = 0;
    DWORD low = GetFileSize(file->handle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    return (uint64_t{high} << 32) | low;
}

uint32_t disc_read_at(DiscFile* file, uint64_t position, unsigned char* buffer, uint32_t count)
{
    uint32_t delivered = 0;
    while (delivered < count) {
        uint64_t at = position + delivered;
        // Unbuffered reads start only on a sector boundary.
        if (file->unbuffered && at % DISC_SECTOR_SIZE != 0 && !switch_to_buffered_reads(file))
            break;
        DWORD wanted = count - delivered;
        if (file->unbuffered) {
            // Whole sectors only; at the end of the file the read delivers what
            // is there. The buffer has room for the rounding.
            wanted = (wanted + DISC_SECTOR_SIZE - 1) / DISC_SECTOR_SIZE * DISC_SECTOR_SIZE;
        }
        DWORD got = 0;
        BOOL read_ok = place_at(file->handle, at) && ReadFile(file->handle, buffer + delivered, wanted, &got, nullptr);
        if (!read_ok && got == 0 && file->unbuffered && GetLastError() == ERROR_INVALID_PARAMETER &&
            switch_to_buffered_reads(file))
            continue;
        if (got == 0)
            break;
        uint32_t left = count - delivered;
        delivered += got < left ? got : left;
        // An unbuffered read short of a whole sector has met the end of the file.
        if (file->unbuffered && got % DISC_SECTOR_SIZE != 0)
            break;
    }
    return delivered;
}

void disc_close(DiscFile* file)
{
    CloseHandle(file->handle);
    file->handle = INVALID_HANDLE_VALUE;
}

bool disc_same_file(const char* path, DiscFile* file)
{
    // Opened for no access at all, so even a file held open elsewhere answers.
    HANDLE other = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION other_info;
    BY_HANDLE_FILE_INFORMATION file_info;
    bool same = GetFileInformationByHandle(other, &other_info) &&
                GetFileInformationByHandle(file->handle, &file_info) &&
                other_info.dwVolumeSerialNumber == file_info.dwVolumeSerialNumber &&
                other_info.nFileIndexHigh == file_info.nFileIndexHigh &&
                other_info.nFileIndexLow == file_info.nFileIndexLow;
    CloseHandle(other);
    return same;
}

bool disc_medium_present(const char* path)
{
    // Drives are read through their drive letter: a drive without a disc has
    // no part to be found.
    (void)path;
    return true;
}

uint64_t disc_session_offset(DiscFile* file)
{
    (void)file;
    return 0;
}

const char* disc_mounted_device(const char* directory)
{
    (void)directory;
    return nullptr;
}

DiscDirectory* disc_directory_open(const char* path)
{
    if (listing.find != INVALID_HANDLE_VALUE)
        return nullptr;
    // "DIR\*" lists DIR; a path that already ends in a separator takes only the "*".
    size_t length = strlen(path);
    bool has_separator = length > 0 && (path[length - 1] == '\\' || path[length - 1] == '/');
    if (length + 3 > sizeof pattern)
        return nullptr;
    memcpy(pattern, path, length);
    if (!has_separator)
        pattern[length++] = '\\';
    memcpy(pattern + length, "*", 2);
    listing.find = FindFirstFileA(pattern, &listing.entry);
    if (listing.find == INVALID_HANDLE_VALUE)
        return nullptr;
    listing.first_pending = true;
    return &listing;
}

const char* disc_directory_next(DiscDirectory* directory)
{
    for (;;) {
        if (!directory->first_pending && !FindNextFileA(directory->find, &directory->entry))
            return nullptr;
        directory->first_pending = false;
        const char* name = directory->entry.cFileName;
        if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0)
            return name;
    }
}

void disc_directory_close(DiscDirectory* directory)
{
    FindClose(directory->find);
    directory->find = INVALID_HANDLE_VALUE;
}
