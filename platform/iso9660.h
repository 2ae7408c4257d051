// Finding a file in the root directory of an ISO9660 volume from sector reads alone.
#pragma once
#include <cstdint>

constexpr uint32_t ISO_SECTOR_SIZE = 2048;

// Writers split a file at 4 GiB - 2 KiB per extent, so 64 extents hold about
// 256 GiB, more than any optical disc; the bound keeps IsoFile at about 1 KiB.
constexpr uint32_t ISO_MAX_EXTENTS = 64;

// Volume descriptors read before giving up on a terminator. A real set holds
// the primary, a boot record and one or two supplementary descriptors.
constexpr uint32_t ISO_MAX_DESCRIPTORS = 32;

// Largest root directory walked: 2048 sectors, over 60000 entries of a
// short name. Larger is taken for damage rather than read sector by sector.
constexpr uint32_t ISO_MAX_ROOT_SIZE = 4u << 20;

struct IsoExtent {
    uint64_t offset;  // bytes from the start of the medium
    uint64_t length;  // bytes
};

struct IsoFile {
    IsoExtent extents[ISO_MAX_EXTENTS];  // in file order
    uint32_t extent_count;
    uint64_t size;                       // the sum of the extents' lengths
};

// Reads the 2048-byte sector at byte offset `offset` (a multiple of 2048, the
// whole sector inside medium_size) into `sector`, a 2048-byte buffer aligned
// to 4096 bytes for direct I/O that the reader owns. True only when all 2048
// bytes were delivered.
using IsoSectorRead = bool (*)(void* context, uint64_t offset, unsigned char* sector);

enum IsoLookup {
    ISO_FOUND,         // file filled in
    ISO_ABSENT,        // the root directory was read whole and holds no such file
    ISO_NOT_A_VOLUME,  // no "CD001" descriptor readable where the session's first belongs
    ISO_DAMAGED,       // a volume, but one that cannot be read safely (see iso9660.cpp)
};

// Looks `name` up among the files (not directories) of the primary volume's
// root directory. medium_size: bytes the medium holds (image file size, device
// size); session_offset: byte offset of the session whose descriptors count,
// 0 for an image file, the last session's start on a multisession disc (its
// descriptors are at session_offset + 16 * 2048). Extent offsets are absolute
// on the medium in any session.
// Names match without regard to ASCII letter case, with a version suffix
// (";1") and a '.' just before it ignored on both sides: "KORVADIS.IMG;1"
// matches "korvadis.img", "FOO.;1" matches "FOO". A file's extents are
// returned as recorded even where they run past the end of the medium (a
// truncated image); `file` holds them on ISO_FOUND only.
// Not reentrant: every call reads through the same process-wide sector buffer.
IsoLookup iso_find_in_root(IsoSectorRead read, void* context, uint64_t medium_size, uint64_t session_offset,
                           const char* name, IsoFile& file);

// True when the session starts with an ISO9660 volume descriptor set: the
// medium is a disc image, even if a lookup in it would find it damaged.
// Reads one sector; false exactly where a lookup gives ISO_NOT_A_VOLUME.
bool iso_is_volume(IsoSectorRead read, void* context, uint64_t medium_size, uint64_t session_offset);
