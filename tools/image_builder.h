// Writes sample image sets: a header sector, pseudo-random data, end markers
// where asked, split into numbered part files.
#pragma once
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
    std::vector<MarkerPlace> markers;   // end-marker sectors, written over the data
    std::string base_name = "KORVADIS"; // part files are BASE.IMG, BASE.001 ...
};

// The 108-byte header the set starts with.
std::vector<unsigned char> image_header(const ImageSet& set);

// The header an end marker carries: the identity bytes of the image header,
// and carried bytes that tell the markers apart (marker_number from 1).
std::vector<unsigned char> marker_header(const ImageSet& set, uint32_t marker_number);

// File name of part n of a set: BASE.IMG for 0, BASE.001 and on after it.
std::string part_file_name(const std::string& base_name, uint32_t part);

// Writes every part into directory (which must exist). Returns false with a
// message on standard error when a file cannot be written.
bool write_image_set(const ImageSet& set, const std::string& directory);
