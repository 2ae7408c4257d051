// Builds small ISO9660 volumes in memory for the reader's tests and fuzz seeds,
// and tells where each structure lies so a test can damage it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr unsigned char ISO_FLAG_HIDDEN = 0x01;
constexpr unsigned char ISO_FLAG_DIRECTORY = 0x02;
constexpr unsigned char ISO_FLAG_ASSOCIATED = 0x04;
constexpr unsigned char ISO_FLAG_MORE_EXTENTS = 0x80;

// One root directory entry after "." and "..".
struct IsoRecordLayout {
    std::string name;                     // identifier as recorded: "KORVADIS.IMG;1", "FOO.;1", "SUB"
    std::vector<unsigned char> contents;  // placed after the root directory, unless extent_given
    unsigned char flags = 0;
    bool extent_given = false;            // record lba and length as they are and place nothing
    uint32_t lba = 0;
    uint32_t length = 0;
    unsigned char ext_attr_blocks = 0;    // blocks of extended attributes ahead of the contents
    unsigned system_use = 0;              // bytes after the name, as Rock Ridge entries take
    bool new_sector = false;              // starts the next root sector, the rest of this one zeros
};

struct IsoLayout {
    std::vector<IsoRecordLayout> records;
    // Types of the descriptors from the session's sector 16 on: 1 primary, 255 terminator,
    // others (0 boot record, 2 supplementary) carry only their type and identifier.
    // Empty: a primary and a terminator.
    std::vector<unsigned char> descriptors;
    uint32_t session_block = 0;  // the session's first block; the image holds zeros before it
    uint32_t root_sectors = 0;   // at least this many root directory sectors
};

struct IsoImage {
    std::vector<unsigned char> bytes;
    uint64_t pvd = 0;                   // byte offset of the (first) primary descriptor
    uint64_t root = 0;                  // byte offset of the root directory
    uint32_t root_size = 0;
    std::vector<uint64_t> record_at;    // byte offset of each layout record
    std::vector<uint64_t> contents_at;  // byte offset of each record's data (after its extended attributes)
};

// Aborts with a message when a record cannot be encoded (over 255 bytes).
IsoImage build_iso(const IsoLayout& layout);

// A record whose extent is given rather than laid out: lba and length as
// recorded, wherever they point.
IsoRecordLayout placed_record(const std::string& name, uint32_t lba, uint32_t length, unsigned char flags);

// Both-endian fields: the little-endian value followed by the big-endian one.
void put_both16(std::vector<unsigned char>& bytes, uint64_t at, uint16_t value);
void put_both32(std::vector<unsigned char>& bytes, uint64_t at, uint32_t value);

// Byte positions of the fields tests damage, from the start of a descriptor or record.
constexpr unsigned ISO_PVD_VERSION = 6;
constexpr unsigned ISO_PVD_BLOCK_SIZE = 128;
constexpr unsigned ISO_PVD_ROOT_RECORD = 156;
constexpr unsigned ISO_REC_LBA = 2;
constexpr unsigned ISO_REC_DATA_LENGTH = 10;
constexpr unsigned ISO_REC_FLAGS = 25;
constexpr unsigned ISO_REC_UNIT_SIZE = 26;
constexpr unsigned ISO_REC_NAME_LENGTH = 32;
