// An in-memory stand-in for the platform's file primitive (disc_file.h), so
// the source layer can be run over crafted media: sparse ones larger than
// memory, truncated ones, folders of many images, disc devices (empty, not to
// be opened, multisession, mounted at a directory), with every read recorded.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/disc_file.h"

namespace fake_disc {

struct Entry {
    PathKind kind = PATH_FILE;
    // The first bytes of a file; the rest up to size follows pattern_byte.
    std::vector<unsigned char> head;
    uint64_t size = 0;
    // A device only: whether its drive reports a disc, whether it may be
    // opened, and where its last session starts.
    bool medium = true;
    bool openable = true;
    uint64_t session = 0;
};

struct Read {
    std::string path;
    uint64_t position;
    uint32_t count;
    uint64_t span;  // bytes the read may move: count, or whole sectors for a direct read
    uint32_t delivered;
};

// Every path the fake knows, as the code under test spells it.
extern std::map<std::string, Entry> entries;
extern std::vector<Read> reads;
// Disc devices by the directory they are mounted at (without a trailing
// separator), as the platform has them for the run.
extern std::map<std::string, std::string> mounts;
// Every path the drive was asked about, and every path opened, in order.
extern std::vector<std::string> medium_checks;
extern std::vector<std::string> opens;

// The byte at offset of every file beyond its head: different in every
// sector and at every place in a sector, and across 4 GiB boundaries.
unsigned char pattern_byte(uint64_t offset);

// A file holding bytes (its size theirs).
void put_file(const std::string& path, const std::vector<unsigned char>& bytes);
void put_directory(const std::string& path);
// A disc device holding bytes (its size theirs; empty bytes: no disc).
void put_device(const std::string& path, const std::vector<unsigned char>& bytes);

// Files and listings open right now.
int open_files();
int open_listings();

void reset();

} // namespace fake_disc
