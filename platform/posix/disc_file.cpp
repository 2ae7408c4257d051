// Files and devices on POSIX: direct I/O where the file system or the
// device's sector size allows it, ordinary reads where it does not; whether a
// drive holds a disc and where its last session starts; path kinds and
// directory listings.
#include "platform/disc_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/optical_drive.h"

struct DiscFile {
    int fd;
    bool direct;
    bool device;
    // The last read came up short; a retry must reach the medium again.
    bool after_failure;
};

struct DiscDirectory {
    DIR* dir;
};

namespace {

// A source part, and an image looked into while it is open; room to spare without allocating.
DiscFile slots[4] = {{-1, false, false, false}, {-1, false, false, false}, {-1, false, false, false},
                     {-1, false, false, false}};

DiscDirectory listing = {nullptr};

// True when direct reads at 2048-byte offsets and counts suit this file system.
bool direct_alignment_ok(int fd)
{
#ifdef STATX_DIOALIGN
    struct statx info;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) == 0 && (info.stx_mask & STATX_DIOALIGN)) {
        uint32_t offset_align = info.stx_dio_offset_align;
        uint32_t memory_align = info.stx_dio_mem_align;
        if (offset_align == 0 || DISC_SECTOR_SIZE % offset_align != 0)
            return false;
        return memory_align != 0 && memory_align <= static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
    }
#endif
    // Unknown: try it; a read refused with EINVAL falls back then.
    (void)fd;
    return true;
}

// Turns direct I/O off for the file. False when the descriptor refuses, in
// which case it still reads directly.
bool switch_to_buffered_reads(DiscFile* file)
{
    if (file->direct) {
        int flags = fcntl(file->fd, F_GETFL);
        if (flags == -1 || fcntl(file->fd, F_SETFL, flags & ~O_DIRECT) == -1)
            return false;
        file->direct = false;
    }
    posix_fadvise(file->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    posix_fadvise(file->fd, 0, 0, POSIX_FADV_NOREUSE);
    return true;
}

// One positioned read, repeated when a signal interrupts it. Returns the
// count delivered, or -1 with errno set.
ssize_t pread_retrying(int fd, unsigned char* buffer, size_t count, uint64_t position)
{
    ssize_t got;
    do
        got = pread(fd, buffer, count, static_cast<off_t>(position));
    while (got < 0 && errno == EINTR);
    return got;
}

} // namespace

PathKind disc_path_kind(const char* path)
{
    struct stat info;
    if (stat(path, &info) != 0)
        return PATH_MISSING;
    if (S_ISREG(info.st_mode))
        return PATH_FILE;
    if (S_ISDIR(info.st_mode))
        return PATH_DIRECTORY;
    if (S_ISBLK(info.st_mode))
        return PATH_DEVICE;
    return PATH_OTHER;
}

DiscFile* disc_open(const char* path)
{
    DiscFile* file = nullptr;
    for (DiscFile& slot : slots)
        if (slot.fd == -1) {
            file = &slot;
            break;
        }
    if (file == nullptr)
        return nullptr;
    // Only a file or a device can hold a part; opening a FIFO would wait for
    // a writer that never comes.
    PathKind kind = disc_path_kind(path);
    if (kind != PATH_FILE && kind != PATH_DEVICE)
        return nullptr;

    int fd;
    do
        fd = open(path, O_RDONLY | O_CLOEXEC | O_DIRECT);
    while (fd == -1 && errno == EINTR);
    bool direct = fd != -1;
    if (fd == -1 && errno == EINVAL)
        fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd == -1)
        return nullptr;

    // Replaced by something else meanwhile: not read either.
    struct stat info;
    if (fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode))) {
        close(fd);
        return nullptr;
    }

    bool device = S_ISBLK(info.st_mode);
    *file = {fd, direct, device, false};
    // A device takes direct reads of whole 2048-byte sectors when its logical
    // block size divides that; a file, as its file system says.
    bool suits = device ? device_reads_direct(fd) : direct_alignment_ok(fd);
    if (!direct || !suits) {
        // Where direct I/O cannot be turned off again, a read refused later
        // still finds no way round and reports a failure.
        switch_to_buffered_reads(file);
    }
    return file;
}

uint64_t disc_size(DiscFile* file)
{
    if (file->device) {
        off_t end = lseek(file->fd, 0, SEEK_END);
        return end < 0 ? 0 : static_cast<uint64_t>(end);
    }
    struct stat info;
    if (fstat(file->fd, &info) != 0 || info.st_size < 0)
        return 0;
    return static_cast<uint64_t>(info.st_size);
}

uint32_t disc_read_at(DiscFile* file, uint64_t position, unsigned char* buffer, uint32_t count)
{
    uint32_t delivered = 0;
    while (delivered < count) {
        uint64_t at = position + delivered;
        uint32_t wanted = count - delivered;
        if (file->direct) {
            // Direct reads move whole sectors; past the end of the file they
            // deliver only what is there. The buffer has room for the rounding.
            wanted = (wanted + DISC_SECTOR_SIZE - 1) / DISC_SECTOR_SIZE * DISC_SECTOR_SIZE;
        } else if (file->after_failure) {
            // Drop what the cache holds of this range so the retry reaches the medium.
            posix_fadvise(file->fd, static_cast<off_t>(at), wanted, POSIX_FADV_DONTNEED);
        }
        ssize_t got = pread_retrying(file->fd, buffer + delivered, wanted, at);
        // Reads are positioned, so the switch can happen in the middle of one.
        if (got < 0 && errno == EINVAL && file->direct && switch_to_buffered_reads(file))
            continue;
        if (got <= 0)
            break;
        delivered += static_cast<uint32_t>(got) < count - delivered ? static_cast<uint32_t>(got) : count - delivered;
        // A direct read short of a whole sector has met the end of the file.
        if (file->direct && static_cast<uint32_t>(got) % DISC_SECTOR_SIZE != 0)
            break;
    }
    file->after_failure = delivered != count;
    return delivered;
}

void disc_close(DiscFile* file)
{
    close(file->fd);
    file->fd = -1;
}

bool disc_same_file(const char* path, DiscFile* file)
{
    struct stat path_info;
    struct stat file_info;
    if (stat(path, &path_info) != 0 || fstat(file->fd, &file_info) != 0)
        return false;
    return path_info.st_dev == file_info.st_dev && path_info.st_ino == file_info.st_ino;
}

bool disc_medium_present(const char* path)
{
    return !path_is_block_device(path) || drive_has_disc(path);
}

uint64_t disc_session_offset(DiscFile* file)
{
    return file->device ? drive_session_start(file->fd) : 0;
}

const char* disc_mounted_device(const char* directory)
{
    const char* device = mounted_device(directory);
    if (device == nullptr)
        return nullptr;
    // A look that cannot wait for a disc or lock the door; the user may not
    // read the device (no cdrom group, no seat access): the directory is read.
    int fd;
    do
        fd = open(device, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd == -1 && errno == EINTR);
    if (fd == -1)
        return errno == EACCES || errno == EPERM ? nullptr : device;
    close(fd);
    return device;
}

DiscDirectory* disc_directory_open(const char* path)
{
    if (listing.dir != nullptr)
        return nullptr;
    listing.dir = opendir(*path ? path : ".");
    return listing.dir ? &listing : nullptr;
}

const char* disc_directory_next(DiscDirectory* directory)
{
    while (const dirent* entry = readdir(directory->dir)) {
        const char* name = entry->d_name;
        if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0)
            return name;
    }
    return nullptr;
}

void disc_directory_close(DiscDirectory* directory)
{
    closedir(directory->dir);
    directory->dir = nullptr;
}
