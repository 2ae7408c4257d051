// A scripted, in-memory stand-in for every platform service, so tests can
// reach read errors, short writes and console dialogues at will.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fake {

struct File {
    std::vector<unsigned char> data;
    bool directory = false;
    // Writes beyond this many bytes are refused (a full disk).
    uint64_t capacity = UINT64_MAX;
    // Zero bytes that follow data, so a part can be larger than memory.
    uint64_t zero_tail = 0;
    // Written bytes beyond data's first kept_head bytes are only counted.
    uint64_t kept_head = UINT64_MAX;
    uint64_t written_beyond_head = 0;
    // Sector offset -> reads still to fail there (-1: every read fails).
    std::map<uint64_t, int> bad_sectors;
};

struct ReadCall {
    std::string path;
    uint64_t offset;
    uint32_t count;
    uint32_t delivered;
};

// Every file the fake knows, source and destination alike, by exact name.
extern std::map<std::string, File> files;
extern std::vector<ReadCall> reads;
extern std::vector<std::string> created;

// Text the console line reads take from, and keys the key reads return;
// when either runs out the console read fails.
extern std::string console_lines;
extern std::vector<int> console_keys;
// Called after each key is taken, so a test can "insert a disc".
extern std::function<void(int key)> on_key;

// Paths whose creation or reopening fails.
extern std::vector<std::string> refuse_open;
// Paths whose flush at the close fails (write-back error, quota, lost disk).
extern std::vector<std::string> refuse_flush;
extern int directory_syncs;

// Number of source parts open right now.
int open_sources();

void reset();

// The content of a file, empty when there is none.
std::vector<unsigned char> bytes_of(const std::string& path);

} // namespace fake
