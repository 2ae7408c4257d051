// Source parts found by name in the source directory, in any letter case
// where names tell case apart. Platform-neutral: every file is reached
// through disc_file.h.
#include "platform/source_file.h"

#include <cstring>

#include "platform/disc_file.h"
#include "platform/path_rules.h"

struct SourceFile {
    DiscFile* disc;     // nullptr while the slot is free
    uint64_t position;  // of the next read, from the start of the part
};

namespace {

// Only one part is open at a time; two slots leave room to spare without allocating.
SourceFile slots[2];

// The directory the part is looked for in, with its separator.
char container[PATH_BUFFER_SIZE];
// The part under another spelling.
char found_path[PATH_BUFFER_SIZE];

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool same_ignoring_case(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (upper(*a) != upper(*b))
            return false;
    return *a == *b;
}

// Writes container followed by name into found_path; false when it does not fit.
bool compose_found_path(size_t container_length, const char* name)
{
    size_t name_length = strlen(name);
    if (container_length + name_length >= sizeof found_path)
        return false;
    memcpy(found_path, container, container_length);
    memcpy(found_path + container_length, name, name_length + 1);
    return true;
}

// Finds an entry of the container directory whose name differs from name
// only in letter case (a plain ISO9660 disc mounted on Linux shows its names
// in lower case) and leaves its path in found_path.
bool find_in_other_case(size_t container_length, const char* name)
{
    DiscDirectory* directory = disc_directory_open(container);
    if (directory == nullptr)
        return false;
    bool found = false;
    while (const char* entry = disc_directory_next(directory))
        if (same_ignoring_case(entry, name)) {
            found = compose_found_path(container_length, entry);
            break;
        }
    disc_directory_close(directory);
    return found;
}

// The name to open for the part path names: the path itself when something
// of that name exists, else (where names tell case apart) an entry of its
// directory spelt in another letter case; nullptr when there is neither.
const char* locate(const char* path)
{
    if (disc_path_kind(path) != PATH_MISSING)
        return path;
    const char* separator = strrchr(path, PATH_SEPARATOR);
    if (NAMES_IGNORE_CASE || separator == nullptr || separator[1] == '\0')
        return nullptr;
    const char* name = separator + 1;
    size_t container_length = static_cast<size_t>(name - path);
    memcpy(container, path, container_length);
    container[container_length] = '\0';
    return find_in_other_case(container_length, name) ? found_path : nullptr;
}

} // namespace

bool source_exists(const char* path)
{
    return locate(path) != nullptr;
}

SourceFile* source_open(const char* path)
{
    SourceFile* file = nullptr;
    for (SourceFile& slot : slots)
        if (slot.disc == nullptr) {
            file = &slot;
            break;
        }
    if (file == nullptr)
        return nullptr;
    const char* name = locate(path);
    file->disc = name ? disc_open(name) : nullptr;
    file->position = 0;
    return file->disc ? file : nullptr;
}

uint64_t source_size(SourceFile* file)
{
    return disc_size(file->disc);
}

void source_seek(SourceFile* file, uint64_t offset)
{
    file->position = offset;
}

uint32_t source_read(SourceFile* file, void* buffer, uint32_t count)
{
    uint32_t delivered = disc_read_at(file->disc, file->position, static_cast<unsigned char*>(buffer), count);
    file->position += delivered;
    return delivered;
}

void source_close(SourceFile* file)
{
    disc_close(file->disc);
    file->disc = nullptr;
}

bool dest_is_source(const char* path, SourceFile* source)
{
    return disc_same_file(path, source->disc);
}
