// The fake file primitive: files and devices from a map, direct reads
// simulated by moving whole sectors, listings in reverse byte order of the names.
#include "tests/fake/fake_disc_file.h"

#include <algorithm>
#include <cstring>

#include "platform/path_rules.h"

namespace fake_disc {

std::map<std::string, Entry> entries;
std::vector<Read> reads;
std::map<std::string, std::string> mounts;
std::vector<std::string> medium_checks;
std::vector<std::string> opens;

int files_open = 0;
int listings_open = 0;

std::string without_trailing_separators(const char* path)
{
    std::string name = path;
    while (!name.empty() && name.back() == PATH_SEPARATOR)
        name.pop_back();
    return name;
}

unsigned char pattern_byte(uint64_t offset)
{
    uint64_t mixed = (offset >> 11) * 0x9E3779B97F4A7C15ull ^ (offset & 2047) * 0xC2B2AE3D27D4EB4Full;
    return static_cast<unsigned char>(mixed >> 56);
}

void put_file(const std::string& path, const std::vector<unsigned char>& bytes)
{
    entries[path] = {PATH_FILE, bytes, bytes.size()};
}

void put_directory(const std::string& path)
{
    entries[path] = {PATH_DIRECTORY, {}, 0};
}

void put_device(const std::string& path, const std::vector<unsigned char>& bytes)
{
    Entry device{PATH_DEVICE, bytes, bytes.size()};
    device.medium = !bytes.empty();
    entries[path] = device;
}

int open_files()
{
    return files_open;
}

int open_listings()
{
    return listings_open;
}

void reset()
{
    entries.clear();
    reads.clear();
    mounts.clear();
    medium_checks.clear();
    opens.clear();
    files_open = 0;
    listings_open = 0;
}

} // namespace fake_disc

using fake_disc::entries;

struct DiscFile {
    std::string path;
};

struct DiscDirectory {
    std::vector<std::string> names;
    size_t next;
};

PathKind disc_path_kind(const char* path)
{
    size_t length = strlen(path);
    bool trailing_separator = length > 0 && path[length - 1] == PATH_SEPARATOR;
    auto found = entries.find(fake_disc::without_trailing_separators(path));
    if (found == entries.end())
        return PATH_MISSING;
    // As stat() has it: "name/" is only a directory.
    if (trailing_separator && found->second.kind != PATH_DIRECTORY)
        return PATH_MISSING;
    return found->second.kind;
}

DiscFile* disc_open(const char* path)
{
    auto found = entries.find(path);
    fake_disc::opens.push_back(path);
    if (found == entries.end() || found->second.kind == PATH_DIRECTORY || found->second.kind == PATH_MISSING ||
        !found->second.openable)
        return nullptr;
    ++fake_disc::files_open;
    return new DiscFile{path};
}

uint64_t disc_size(DiscFile* file)
{
    return entries[file->path].size;
}

uint32_t disc_read_at(DiscFile* file, uint64_t position, unsigned char* buffer, uint32_t count)
{
    const fake_disc::Entry& entry = entries[file->path];
    // Reads are direct wherever the most lenient file system takes them: at a
    // 512-byte position into a buffer of any alignment. They move whole
    // sectors, as far as the file goes.
    bool direct = position % 512 == 0;
    uint64_t span = direct ? (uint64_t{count} + DISC_SECTOR_SIZE - 1) / DISC_SECTOR_SIZE * DISC_SECTOR_SIZE : count;
    uint64_t moved = position < entry.size ? std::min<uint64_t>(span, entry.size - position) : 0;
    for (uint64_t i = 0; i < moved; ++i) {
        uint64_t at = position + i;
        buffer[i] = at < entry.head.size() ? entry.head[at] : fake_disc::pattern_byte(at);
    }
    uint32_t delivered = static_cast<uint32_t>(std::min<uint64_t>(moved, count));
    fake_disc::reads.push_back({file->path, position, count, span, delivered});
    return delivered;
}

void disc_close(DiscFile* file)
{
    --fake_disc::files_open;
    delete file;
}

bool disc_same_file(const char* path, DiscFile* file)
{
    return file->path == path;
}

bool disc_medium_present(const char* path)
{
    fake_disc::medium_checks.push_back(path);
    auto found = entries.find(path);
    if (found == entries.end())
        return false;
    return found->second.kind != PATH_DEVICE || found->second.medium;
}

uint64_t disc_session_offset(DiscFile* file)
{
    return entries[file->path].session;
}

const char* disc_mounted_device(const char* directory)
{
    auto found = fake_disc::mounts.find(fake_disc::without_trailing_separators(directory));
    return found == fake_disc::mounts.end() ? nullptr : found->second.c_str();
}

DiscDirectory* disc_directory_open(const char* path)
{
    std::string directory = fake_disc::without_trailing_separators(path);
    auto found = entries.find(directory);
    if (found == entries.end() || found->second.kind != PATH_DIRECTORY)
        return nullptr;
    std::string prefix = directory + PATH_SEPARATOR;
    auto* listing = new DiscDirectory{{}, 0};
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string& name = it->first;
        if (name.compare(0, prefix.size(), prefix) == 0 && name.find(PATH_SEPARATOR, prefix.size()) == std::string::npos)
            listing->names.push_back(name.substr(prefix.size()));
    }
    ++fake_disc::listings_open;
    return listing;
}

const char* disc_directory_next(DiscDirectory* directory)
{
    return directory->next < directory->names.size() ? directory->names[directory->next++].c_str() : nullptr;
}

void disc_directory_close(DiscDirectory* directory)
{
    --fake_disc::listings_open;
    delete directory;
}
