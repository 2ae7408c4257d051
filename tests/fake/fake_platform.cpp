// The fake platform: files in a map, faults by sector, a scripted console.
#include "tests/fake/fake_platform.h"

#include <algorithm>
#include <cstring>

#include "platform/console.h"
#include "platform/dest_file.h"
#include "platform/source_file.h"
#include "platform/startup.h"
#include "platform/transfer_memory.h"

namespace fake {

std::map<std::string, File> files;
std::vector<ReadCall> reads;
std::vector<std::string> created;
std::string console_lines;
std::vector<int> console_keys;
std::function<void(int)> on_key;
std::vector<std::string> refuse_open;
std::vector<std::string> refuse_flush;
int directory_syncs = 0;

namespace {

constexpr uint64_t SECTOR = 2048;

struct OpenSource {
    std::string path;
    uint64_t position;
    bool open;
};

OpenSource sources[4];

struct OpenDest {
    std::string path;
    uint64_t position;
    bool open;
};

OpenDest dests[4];

// Tests name files with '/'; the code under test spells them with the platform's separator.
std::string with_forward_slashes(const char* path)
{
    std::string name = path;
    for (char& c : name)
        if (c == '\\')
            c = '/';
    return name;
}

bool refused(const std::string& path)
{
    return std::find(refuse_open.begin(), refuse_open.end(), path) != refuse_open.end();
}

int open_dest(const char* native_path, bool create)
{
    std::string path = with_forward_slashes(native_path);
    if (refused(path))
        return NO_DEST;
    auto found = files.find(path);
    if (!create && found == files.end())
        return NO_DEST;
    if (found != files.end() && found->second.directory)
        return NO_DEST;
    for (int i = 0; i < 4; ++i)
        if (!dests[i].open) {
            dests[i] = {path, 0, true};
            if (create) {
                files[path].data.clear();
                created.push_back(path);
            }
            return i;
        }
    return NO_DEST;
}

} // namespace

int open_sources()
{
    int count = 0;
    for (const OpenSource& source : sources)
        count += source.open ? 1 : 0;
    return count;
}

void reset()
{
    files.clear();
    reads.clear();
    created.clear();
    console_lines.clear();
    console_keys.clear();
    on_key = nullptr;
    refuse_open.clear();
    refuse_flush.clear();
    directory_syncs = 0;
    for (OpenSource& source : sources)
        source = {"", 0, false};
    for (OpenDest& dest : dests)
        dest = {"", 0, false};
}

std::vector<unsigned char> bytes_of(const std::string& path)
{
    auto found = files.find(path);
    return found == files.end() ? std::vector<unsigned char>() : found->second.data;
}

} // namespace fake

using fake::files;

struct SourceFile {
    int slot;
};

namespace {
SourceFile handles[4] = {{0}, {1}, {2}, {3}};
}

bool source_exists(const char* path)
{
    return files.count(fake::with_forward_slashes(path)) != 0;
}

SourceFile* source_open(const char* native_path)
{
    std::string path = fake::with_forward_slashes(native_path);
    auto found = files.find(path);
    if (found == files.end() || found->second.directory || fake::refused(path))
        return nullptr;
    for (int i = 0; i < 4; ++i)
        if (!fake::sources[i].open) {
            fake::sources[i] = {path, 0, true};
            return &handles[i];
        }
    return nullptr;
}

uint64_t source_size(SourceFile* file)
{
    const fake::File& data = files[fake::sources[file->slot].path];
    return data.data.size() + data.zero_tail;
}

void source_seek(SourceFile* file, uint64_t offset)
{
    fake::sources[file->slot].position = offset;
}

// Delivers up to the first bad sector the read covers, using up one of its failures.
uint32_t source_read(SourceFile* file, void* buffer, uint32_t count)
{
    fake::OpenSource& source = fake::sources[file->slot];
    fake::File& data = files[source.path];
    uint64_t size = data.data.size() + data.zero_tail;
    uint64_t start = source.position;
    uint64_t end = std::min<uint64_t>(start + count, size);
    if (start > size)
        end = start;
    for (auto& [sector, failures] : data.bad_sectors) {
        if (failures == 0 || sector + fake::SECTOR <= start || sector >= end)
            continue;
        end = std::max(start, sector);
        if (failures > 0)
            --failures;
        break;
    }
    uint32_t delivered = static_cast<uint32_t>(end - start);
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    uint64_t stored = data.data.size();
    uint64_t from_data = start < stored ? std::min<uint64_t>(end, stored) - start : 0;
    if (from_data > 0)
        memcpy(bytes, data.data.data() + start, from_data);
    memset(bytes + from_data, 0, delivered - from_data);
    source.position = end;
    fake::reads.push_back({source.path, start, count, delivered});
    return delivered;
}

void source_close(SourceFile* file)
{
    fake::sources[file->slot].open = false;
}

bool dest_exists(const char* path)
{
    return files.count(fake::with_forward_slashes(path)) != 0;
}

int dest_create(const char* path)
{
    return fake::open_dest(path, true);
}

int dest_reopen(const char* path)
{
    return fake::open_dest(path, false);
}

uint32_t dest_write(int dest, const void* buffer, uint32_t count)
{
    fake::OpenDest& open = fake::dests[dest];
    fake::File& file = files[open.path];
    uint64_t room = file.capacity > open.position ? file.capacity - open.position : 0;
    uint32_t written = static_cast<uint32_t>(std::min<uint64_t>(count, room));
    uint64_t end = open.position + written;
    uint64_t stored_end = std::min(end, file.kept_head);
    if (stored_end > open.position) {
        if (file.data.size() < stored_end)
            file.data.resize(stored_end);
        memcpy(file.data.data() + open.position, buffer, stored_end - open.position);
    }
    file.written_beyond_head += end - std::max(stored_end, open.position);
    open.position = end;
    return written;
}

bool dest_close(int dest)
{
    fake::dests[dest].open = false;
    const std::vector<std::string>& refused = fake::refuse_flush;
    return std::find(refused.begin(), refused.end(), fake::dests[dest].path) == refused.end();
}

bool dest_sync_directory(const char*)
{
    ++fake::directory_syncs;
    return true;
}

bool dest_is_source(const char* path, SourceFile* source)
{
    return fake::sources[source->slot].path == fake::with_forward_slashes(path);
}

unsigned char* transfer_memory_get(uint32_t size)
{
    return new unsigned char[size];
}

void transfer_memory_release(unsigned char* block, uint32_t)
{
    delete[] block;
}

int console_read_line(char* buffer, int capacity)
{
    if (fake::console_lines.empty())
        return CONSOLE_FAILED;
    size_t line_end = fake::console_lines.find_first_of("\r\n");
    size_t available = line_end == std::string::npos ? fake::console_lines.size() : line_end + 1;
    size_t taken = std::min<size_t>(available, static_cast<size_t>(capacity));
    memcpy(buffer, fake::console_lines.data(), taken);
    fake::console_lines.erase(0, taken);
    return static_cast<int>(taken);
}

int console_read_key()
{
    if (fake::console_keys.empty())
        return CONSOLE_FAILED;
    int key = fake::console_keys.front();
    fake::console_keys.erase(fake::console_keys.begin());
    if (fake::on_key)
        fake::on_key(key);
    return key;
}

void platform_startup()
{
}
