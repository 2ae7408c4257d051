// Reading an ISO9660 volume through a sector callback: the volume descriptors,
// the primary volume's root directory, and the records of the file looked up.
//
// What counts as damage (ISO_DAMAGED), once the session's first descriptor
// says "CD001":
// - a later descriptor without "CD001", unreadable, or past the medium; no
//   terminator among the first ISO_MAX_DESCRIPTORS; no primary descriptor;
// - a primary descriptor of another version than 1, or a logical block size
//   other than 2048 (a volume, but one this reader does not support);
// - a root directory of size 0 or over ISO_MAX_ROOT_SIZE, starting in the
//   system area, or not wholly inside the medium; one of its sectors unreadable;
// - a record shorter than 34 bytes (a 0 length byte only ends its sector's
//   records), running past its sector or past the directory's recorded size,
//   or with a name running past the record;
// - the file looked up recorded interleaved (never written by current tools),
//   or a multi-extent chain that ends with the directory, meets another name
//   or a directory, or holds more than ISO_MAX_EXTENTS extents.
#include "platform/iso9660.h"

#include <cstring>

namespace {

// The one buffer every read goes through, aligned for direct reads from a device.
alignas(4096) unsigned char sector[ISO_SECTOR_SIZE];

constexpr uint32_t SYSTEM_AREA_SECTORS = 16;

// Volume descriptor fields.
constexpr unsigned VD_TYPE = 0;
constexpr unsigned VD_IDENTIFIER = 1;
constexpr unsigned VD_VERSION = 6;
constexpr unsigned PVD_BLOCK_SIZE = 128;  // both-endian 16-bit
constexpr unsigned PVD_ROOT_RECORD = 156;
constexpr unsigned char TYPE_PRIMARY = 1;
constexpr unsigned char TYPE_TERMINATOR = 255;

// Directory record fields.
constexpr unsigned REC_LENGTH = 0;
constexpr unsigned REC_EXT_ATTR_LENGTH = 1;  // blocks before the data in the extent
constexpr unsigned REC_LBA = 2;              // both-endian 32-bit
constexpr unsigned REC_DATA_LENGTH = 10;     // both-endian 32-bit
constexpr unsigned REC_FLAGS = 25;
constexpr unsigned REC_UNIT_SIZE = 26;
constexpr unsigned REC_GAP_SIZE = 27;
constexpr unsigned REC_NAME_LENGTH = 32;
constexpr unsigned REC_NAME = 33;
constexpr uint32_t REC_MIN_LENGTH = REC_NAME + 1;
constexpr unsigned char FLAG_DIRECTORY = 0x02;
constexpr unsigned char FLAG_ASSOCIATED = 0x04;
constexpr unsigned char FLAG_MORE_EXTENTS = 0x80;

// An extent starts below 2^44 bytes ((2^32 - 1 + 255) blocks of 2048) and is
// shorter than 2^32 bytes, so no offset, end or sum of ISO_MAX_EXTENTS lengths
// can overflow and the recorded values need no refusal on that count.
static_assert((uint64_t{0xFFFFFFFF} + 255) * ISO_SECTOR_SIZE + uint64_t{0xFFFFFFFF} * ISO_MAX_EXTENTS <
                  (uint64_t{1} << 63),
              "extent arithmetic fits in 64 bits");

// Only the little-endian half of a both-endian field is read, as other
// readers do: a disc whose big-endian half is wrong reads everywhere else,
// and every value taken is bounds-checked anyway.
uint32_t le32(const unsigned char* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t le16(const unsigned char* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}

unsigned char upper(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// The part of a name that is compared: up to a ';' version suffix, less a
// '.' just before it (or at the end).
uint32_t compared_length(const unsigned char* name, uint32_t length)
{
    uint32_t kept = 0;
    while (kept < length && name[kept] != ';')
        ++kept;
    if (kept > 0 && name[kept - 1] == '.')
        --kept;
    return kept;
}

struct Wanted {
    const unsigned char* name;
    uint32_t length;  // compared length; 0 matches nothing
};

// Only the query's part before a ';' counts. Recorded names are at most 255
// bytes, so a longer part can match none and is not measured further.
Wanted wanted_name(const char* name)
{
    Wanted wanted{reinterpret_cast<const unsigned char*>(name), 0};
    if (name == nullptr)
        return wanted;
    uint32_t length = 0;
    while (length < 256 && name[length] != '\0' && name[length] != ';')
        ++length;
    if (length < 256)
        wanted.length = compared_length(wanted.name, length);
    return wanted;
}

bool name_matches(const unsigned char* name, uint32_t length, const Wanted& wanted)
{
    if (wanted.length == 0 || compared_length(name, length) != wanted.length)
        return false;
    for (uint32_t i = 0; i < wanted.length; ++i)
        if (upper(name[i]) != upper(wanted.name[i]))
            return false;
    return true;
}

bool is_descriptor()
{
    return memcmp(sector + VD_IDENTIFIER, "CD001", 5) == 0;
}

// Reads descriptor `index` of the session (session_offset aligned and inside
// the medium); false when it lies past the medium or cannot be read.
bool read_descriptor(IsoSectorRead read, void* context, uint64_t medium_size, uint64_t session_offset,
                     uint32_t index)
{
    uint64_t end = uint64_t{SYSTEM_AREA_SECTORS + index + 1} * ISO_SECTOR_SIZE;
    if (end > medium_size - session_offset)
        return false;
    return read(context, session_offset + end - ISO_SECTOR_SIZE, sector);
}

// The session's first descriptor, left in the buffer; without it the medium is no volume.
bool read_first_descriptor(IsoSectorRead read, void* context, uint64_t medium_size, uint64_t session_offset)
{
    if (session_offset % ISO_SECTOR_SIZE != 0 || session_offset > medium_size)
        return false;
    return read_descriptor(read, context, medium_size, session_offset, 0) && is_descriptor();
}

struct RootPlace {
    uint64_t offset;
    uint32_t size;
};

// Takes the root directory's place from the primary descriptor in the buffer.
IsoLookup take_root(uint64_t medium_size, RootPlace& root)
{
    if (sector[VD_VERSION] != 1 || le16(sector + PVD_BLOCK_SIZE) != ISO_SECTOR_SIZE)
        return ISO_DAMAGED;
    const unsigned char* record = sector + PVD_ROOT_RECORD;
    uint64_t block = uint64_t{le32(record + REC_LBA)} + record[REC_EXT_ATTR_LENGTH];
    uint32_t size = le32(record + REC_DATA_LENGTH);
    if (block < SYSTEM_AREA_SECTORS || size == 0 || size > ISO_MAX_ROOT_SIZE)
        return ISO_DAMAGED;
    uint64_t offset = block * ISO_SECTOR_SIZE;
    uint64_t span = (uint64_t{size} + ISO_SECTOR_SIZE - 1) / ISO_SECTOR_SIZE * ISO_SECTOR_SIZE;
    if (offset > medium_size || span > medium_size - offset)
        return ISO_DAMAGED;
    root = {offset, size};
    return ISO_FOUND;
}

// Reads the descriptor set up to its terminator and places the primary
// volume's root directory. ISO_FOUND here means the root is placed.
IsoLookup find_root(IsoSectorRead read, void* context, uint64_t medium_size, uint64_t session_offset,
                    RootPlace& root)
{
    if (!read_first_descriptor(read, context, medium_size, session_offset))
        return ISO_NOT_A_VOLUME;
    bool placed = false;
    for (uint32_t index = 0; index < ISO_MAX_DESCRIPTORS; ++index) {
        if (index > 0 && !(read_descriptor(read, context, medium_size, session_offset, index) && is_descriptor()))
            return ISO_DAMAGED;
        if (sector[VD_TYPE] == TYPE_TERMINATOR)
            return placed ? ISO_FOUND : ISO_DAMAGED;
        if (sector[VD_TYPE] == TYPE_PRIMARY && !placed) {
            IsoLookup taken = take_root(medium_size, root);
            if (taken != ISO_FOUND)
                return taken;
            placed = true;
        }
    }
    return ISO_DAMAGED;
}

// Adds the extent of a file's record; false for an interleaved one, which
// would need its gaps skipped.
bool add_extent(const unsigned char* record, IsoFile& file)
{
    if (record[REC_UNIT_SIZE] != 0 || record[REC_GAP_SIZE] != 0)
        return false;
    uint64_t block = uint64_t{le32(record + REC_LBA)} + record[REC_EXT_ATTR_LENGTH];
    uint64_t length = le32(record + REC_DATA_LENGTH);
    file.extents[file.extent_count++] = {block * ISO_SECTOR_SIZE, length};
    file.size += length;
    return true;
}

// Walks the root directory's records in order for the first file of that
// name, then for the rest of its multi-extent chain.
IsoLookup walk_root(IsoSectorRead read, void* context, const RootPlace& root, const Wanted& wanted, IsoFile& file)
{
    // The chain's name as recorded: every record of a file carries the same one.
    unsigned char chain_name[255];
    uint32_t chain_name_length = 0;
    bool in_chain = false;

    for (uint32_t done = 0; done < root.size; done += ISO_SECTOR_SIZE) {
        if (!read(context, root.offset + done, sector))
            return ISO_DAMAGED;
        uint32_t used = root.size - done < ISO_SECTOR_SIZE ? root.size - done : ISO_SECTOR_SIZE;
        uint32_t at = 0;
        // A 0 length byte ends the sector's records: records never cross a sector boundary.
        while (at < used && sector[at + REC_LENGTH] != 0) {
            const unsigned char* record = sector + at;
            uint32_t length = record[REC_LENGTH];
            if (length < REC_MIN_LENGTH || length > used - at)
                return ISO_DAMAGED;
            uint32_t name_length = record[REC_NAME_LENGTH];
            if (REC_NAME + name_length > length)
                return ISO_DAMAGED;
            at += length;
            const unsigned char* name = record + REC_NAME;
            unsigned char flags = record[REC_FLAGS];

            if (in_chain) {
                if ((flags & FLAG_DIRECTORY) || name_length != chain_name_length ||
                    memcmp(name, chain_name, name_length) != 0)
                    return ISO_DAMAGED;
            } else {
                bool self_or_parent = name_length == 1 && name[0] <= 1;
                if (self_or_parent || (flags & (FLAG_DIRECTORY | FLAG_ASSOCIATED)) ||
                    !name_matches(name, name_length, wanted))
                    continue;
                memcpy(chain_name, name, name_length);
                chain_name_length = name_length;
                in_chain = true;
            }
            if (!add_extent(record, file))
                return ISO_DAMAGED;
            if (!(flags & FLAG_MORE_EXTENTS))
                return ISO_FOUND;
            if (file.extent_count == ISO_MAX_EXTENTS)
                return ISO_DAMAGED;
        }
    }
    return in_chain ? ISO_DAMAGED : ISO_ABSENT;
}

}  // namespace

IsoLookup iso_find_in_root(IsoSectorRead read, void* context, uint64_t medium_size, uint64_t session_offset,
                           const char* name, IsoFile& file)
{
    file.extent_count = 0;
    file.size = 0;
    RootPlace root{0, 0};
    IsoLookup placed = find_root(read, context, medium_size, session_offset, root);
    if (placed != ISO_FOUND)
        return placed;
    return walk_root(read, context, root, wanted_name(name), file);
}

bool iso_is_volume(IsoSectorRead read, void* context, uint64_t medium_size, uint64_t session_offset)
{
    return read_first_descriptor(read, context, medium_size, session_offset);
}
