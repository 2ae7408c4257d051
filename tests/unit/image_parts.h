// In-memory image sets for the fake platform, and what a conversion should make of them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "front/driver.h"
#include "front/paths.h"
#include "tests/fake/fake_platform.h"
#include "tools/image_builder.h"

namespace parts {

// Pseudo-random bytes that never repeat a header by chance.
inline std::vector<unsigned char> noise(size_t size, uint32_t seed)
{
    std::vector<unsigned char> bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (unsigned char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}

// A test's '/' path as the platform spells it in messages and path buffers.
inline std::string native(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = PATH_SEPARATOR;
    return path;
}

inline std::string name(const std::string& base, uint32_t part)
{
    return part_file_name(base, part);
}

// Puts the parts of set into the fake file system as disc/KORVADIS.IMG ...
inline void install(const ImageSet& set, const std::string& dir = "disc")
{
    for (uint32_t part = 0; part < set.part_sizes.size(); ++part) {
        std::vector<unsigned char> data = noise(set.part_sizes[part], set.seed * 1000 + part);
        if (part == 0) {
            std::vector<unsigned char> header = image_header(set);
            std::copy(header.begin(), header.begin() + std::min(header.size(), data.size()), data.begin());
        }
        for (size_t m = 0; m < set.markers.size(); ++m) {
            if (set.markers[m].part != part)
                continue;
            std::vector<unsigned char> marker = marker_header(set, static_cast<uint32_t>(m + 1));
            for (size_t i = 0; i < marker.size() && set.markers[m].offset + i < data.size(); ++i)
                data[set.markers[m].offset + i] = marker[i];
        }
        fake::files[dir + "/" + name(set.base_name, part)].data = data;
    }
}

// What the destination parts hold after a conversion that cut the image at
// (cut_part, cut_offset) and took the header of marker number marker_number.
inline std::vector<std::vector<unsigned char>> expected(const ImageSet& set, uint32_t cut_part, uint64_t cut_offset,
                                                        uint32_t marker_number, const std::string& dir = "disc")
{
    std::vector<std::vector<unsigned char>> result;
    for (uint32_t part = 0; part <= cut_part; ++part) {
        std::vector<unsigned char> data = fake::bytes_of(dir + "/" + name(set.base_name, part));
        if (part == cut_part)
            data.resize(cut_offset);
        result.push_back(data);
    }
    std::vector<unsigned char> header = marker_header(set, marker_number);
    header[0] = 'I', header[1] = 'M', header[2] = 'G';
    std::copy(header.begin(), header.end(), result[0].begin());
    return result;
}

// Composes the paths from the two arguments (the destination spelt with the
// platform's separator) and runs the conversion, as the
// driver does after its questions.
inline int convert(const char* source = "disc", const std::string& dest = "out/disk")
{
    compose_source_path(source);
    compose_dest_path(native(dest).c_str());
    return convert_image();
}

} // namespace parts
