// Source parts on POSIX: direct I/O where the file system allows it, ordinary
// reads where it does not, and names found in either letter case.
#include "platform/source_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/path_rules.h"

struct SourceFile {
    int fd;
    bool direct;
    // A read at this position came up short; a retry must reach the medium again.
    bool after_failure;
    uint64_t position;
};

namespace {

constexpr uint32_t DIRECT_ALIGNMENT = 2048;

// Only one part is open at a time; two slots leave room to spare without allocating.
SourceFile slots[2] = {{-1, false, false, 0}, {-1, false, false, 0}};

char resolved_path[PATH_BUFFER_SIZE];

// Finds path as spelled, or else a directory entry whose name differs only in
// letter case (a plain ISO9660 disc shows its names in lower case).
// Returns the name to open, or nullptr.
const char* resolve_part_name(const char* path)
{
    struct stat info;
    if (stat(path, &info) == 0)
        return path;

    const char* slash = strrchr(path, '/');
    const char* base = slash ? slash + 1 : path;
    size_t dir_length = slash ? static_cast<size_t>(slash - path) : 0;
    if (*base == '\0' || dir_length + 2 > sizeof resolved_path)
        return nullptr;
    if (slash) {
        memcpy(resolved_path, path, dir_length);
        resolved_path[dir_length] = '\0';
    }
    DIR* dir = opendir(slash ? (dir_length ? resolved_path : "/") : ".");
    if (dir == nullptr)
        return nullptr;

    const char* found = nullptr;
    while (const dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, base) != 0)
            continue;
        size_t prefix = slash ? dir_length + 1 : 0;
        size_t name_length = strlen(entry->d_name);
        if (prefix + name_length + 1 > sizeof resolved_path)
            break;
        if (slash)
            resolved_path[dir_length] = '/';
        memcpy(resolved_path + prefix, entry->d_name, name_length + 1);
        found = resolved_path;
        break;
    }
    closedir(dir);
    return found;
}

// True when direct reads at 2048-byte offsets and counts suit this file system.
bool direct_alignment_ok(int fd)
{
#ifdef STATX_DIOALIGN
    struct statx info;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) == 0 && (info.stx_mask & STATX_DIOALIGN)) {
        uint32_t offset_align = info.stx_dio_offset_align;
        uint32_t memory_align = info.stx_dio_mem_align;
        if (offset_align == 0 || DIRECT_ALIGNMENT % offset_align != 0)
            return false;
        return memory_align != 0 && memory_align <= static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
    }
#endif
    // Unknown: try it; a read refused with EINVAL falls back then.
    (void)fd;
    return true;
}

// Turns direct I/O off for the part. False when the descriptor refuses, in
// which case it still reads directly.
bool switch_to_buffered_reads(SourceFile* file)
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
ssize_t read_at(int fd, unsigned char* buffer, size_t count, uint64_t position)
{
    ssize_t got;
    do
        got = pread(fd, buffer, count, static_cast<off_t>(position));
    while (got < 0 && errno == EINTR);
    return got;
}

} // namespace

bool source_exists(const char* path)
{
    return resolve_part_name(path) != nullptr;
}

SourceFile* source_open(const char* path)
{
    SourceFile* file = nullptr;
    for (SourceFile& slot : slots)
        if (slot.fd == -1) {
            file = &slot;
            break;
        }
    const char* name = resolve_part_name(path);
    if (file == nullptr || name == nullptr)
        return nullptr;

    int fd = open(name, O_RDONLY | O_CLOEXEC | O_DIRECT);
    bool direct = fd != -1;
    if (fd == -1 && errno == EINVAL)
        fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd == -1)
        return nullptr;

    // Something of that name that is not a file cannot be read as a part.
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return nullptr;
    }

    *file = {fd, direct, false, 0};
    if (!direct || !direct_alignment_ok(fd)) {
        // Where direct I/O cannot be turned off again, a read refused later
        // still finds no way round and reports a failure.
        switch_to_buffered_reads(file);
    }
    return file;
}

uint64_t source_size(SourceFile* file)
{
    struct stat info;
    if (fstat(file->fd, &info) != 0 || info.st_size < 0)
        return 0;
    return static_cast<uint64_t>(info.st_size);
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
        uint32_t wanted = count - delivered;
        if (file->direct) {
            // Direct reads move whole sectors; past the end of the part they
            // deliver only what is there. The buffer has room for the rounding.
            wanted = (wanted + DIRECT_ALIGNMENT - 1) / DIRECT_ALIGNMENT * DIRECT_ALIGNMENT;
        } else if (file->after_failure) {
            // Drop what the cache holds of this range so the retry reaches the medium.
            posix_fadvise(file->fd, static_cast<off_t>(position), wanted, POSIX_FADV_DONTNEED);
        }
        ssize_t got = read_at(file->fd, bytes + delivered, wanted, position);
        // Reads are positioned, so the switch can happen in the middle of one.
        if (got < 0 && errno == EINVAL && file->direct && switch_to_buffered_reads(file))
            continue;
        if (got <= 0)
            break;
        delivered += static_cast<uint32_t>(got) < count - delivered ? static_cast<uint32_t>(got) : count - delivered;
        // A direct read short of a whole sector has met the end of the part.
        if (file->direct && static_cast<uint32_t>(got) % DIRECT_ALIGNMENT != 0)
            break;
    }
    file->position += delivered;
    file->after_failure = delivered != count;
    return delivered;
}

void source_close(SourceFile* file)
{
    close(file->fd);
    file->fd = -1;
}

bool dest_is_source(const char* path, SourceFile* source)
{
    struct stat dest_info;
    struct stat source_info;
    if (stat(path, &dest_info) != 0 || fstat(source->fd, &source_info) != 0)
        return false;
    return dest_info.st_dev == source_info.st_dev && dest_info.st_ino == source_info.st_ino;
}
