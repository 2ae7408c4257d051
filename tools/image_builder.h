// Sample image sets (a header sector, pseudo-random data, end markers where
// asked, split into numbered part files) and what converting them must leave.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MarkerPlace {
    uint32_t part;
    uint64_t offset;  // from the start of that part file, a multiple of 2048 for a real marker
};

struct ImageSet {
    std::string signature = "QRV";      // first three header bytes
    uint32_t seed = 1;                  // chooses identity bytes and data
    std::vector<uint64_t> part_sizes;   // bytes of each part file, part 0 first
    std::vector<MarkerPlace> markers;   // end-marker sectors, written over the data (later ones over earlier)
    std::string base_name = "KORVADIS"; // part files are BASE.IMG, BASE.001 ...
};

// The 108-byte header the set starts with.
std::vector<unsigned char> image_header(const ImageSet& set);

// The header an end marker carries: the identity bytes of the image header,
// and carried bytes that tell the markers apart (marker_number from 1).
std::vector<unsigned char> marker_header(const ImageSet& set, uint32_t marker_number);

// File name of part n of a set: BASE.IMG for 0, BASE.001 and on after it.
std::string part_file_name(const std::string& base_name, uint32_t part);

// Bytes [start, start + count) of a part, as write_image_set writes them: each
// part's data depends only on the seed and the part number, so any stretch can
// be made on its own.
void part_bytes(const ImageSet& set, uint32_t part, uint64_t start, unsigned char* bytes, size_t count);

// A whole part in memory.
std::vector<unsigned char> part_bytes(const ImageSet& set, uint32_t part);

// count bytes of the same kind of pseudo-random data, from a stream of their
// own chosen by seed: contents for other files a test needs.
std::vector<unsigned char> random_bytes(size_t count, uint64_t seed);

// Writes every part into directory (which must exist). Returns false with a
// message on standard error when a file cannot be written.
bool write_image_set(const ImageSet& set, const std::string& directory);

// Where a run's copy ends: destination part `part` holds the first `offset`
// bytes of its source part and no later part exists. When converted, the end
// is the accepted end marker and part 0 starts with that marker's header
// signed "IMG"; otherwise the parts stay as copied.
struct CopyEnd {
    uint32_t part;
    uint64_t offset;
    bool converted;
};

// Where converting a set signed "QRV" ends. The first chunk (63488 bytes) of
// part 0 holds the header itself and is not searched; after it each part is
// searched chunk by chunk from its start, a sector counting as an end marker
// when its whole 108-byte header lies within the part and repeats the identity
// bytes of part 0's header. The first chunk that holds one ends the copy, at
// the last marker sector of that chunk. Without any, every part is copied
// whole and the run then fails asking for the part after the last: {last
// part, its size, not converted}.
CopyEnd conversion_end(const ImageSet& set);

// The destination parts a run leaves when its copy ends at end, part 0 first.
std::vector<std::vector<unsigned char>> expected_parts(const ImageSet& set, const CopyEnd& end);

// Those of a conversion that runs its course: expected_parts(set, conversion_end(set)).
std::vector<std::vector<unsigned char>> expected_parts(const ImageSet& set);

// Writes the expected destination parts into directory as BASE.IMG, BASE.001 ...
// (base_name). Returns false with a message on standard error when end lies
// outside the set or a file cannot be written.
bool write_expected_parts(const ImageSet& set, const CopyEnd& end, const std::string& directory,
                          const std::string& base_name);
