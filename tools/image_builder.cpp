// Sample image sets, generated block by block so large sets need little memory.
#include "tools/image_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t SECTOR = 2048;
constexpr size_t HEADER = 108;
constexpr size_t BLOCK = 1 << 20;

// xorshift64*: fast, seedable, good enough for data no marker test can mistake.
struct Random {
    uint64_t state;
    uint64_t next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 2685821657736338717ULL;
    }
};

void fill_random(Random& random, unsigned char* bytes, size_t count)
{
    for (size_t i = 0; i < count; i += 8) {
        uint64_t value = random.next();
        memcpy(bytes + i, &value, std::min<size_t>(8, count - i));
    }
}

} // namespace

std::vector<unsigned char> image_header(const ImageSet& set)
{
    std::vector<unsigned char> header(HEADER);
    Random random{0x9E3779B97F4A7C15ULL ^ set.seed};
    fill_random(random, header.data(), HEADER);
    memcpy(header.data(), set.signature.data(), std::min<size_t>(3, set.signature.size()));
    return header;
}

std::vector<unsigned char> marker_header(const ImageSet& set, uint32_t marker_number)
{
    std::vector<unsigned char> header = image_header(set);
    // Only carried bytes change: 10-17, 27-35, 48-49 and 52-107.
    char tag[9];
    snprintf(tag, sizeof tag, "END%05u", marker_number % 100000);
    memcpy(header.data() + 10, tag, 8);
    for (size_t i = 52; i < HEADER; ++i)
        header[i] = static_cast<unsigned char>(marker_number * 31 + i);
    header[27] = static_cast<unsigned char>(marker_number);
    header[48] = static_cast<unsigned char>(marker_number >> 8);
    return header;
}

std::string part_file_name(const std::string& base_name, uint32_t part)
{
    char suffix[16];
    if (part == 0)
        snprintf(suffix, sizeof suffix, ".IMG");
    else
        snprintf(suffix, sizeof suffix, ".%03u", part);
    return base_name + suffix;
}

bool write_image_set(const ImageSet& set, const std::string& directory)
{
    std::vector<unsigned char> header = image_header(set);
    std::vector<unsigned char> block(BLOCK);
    Random random{0xD1B54A32D192ED03ULL ^ (uint64_t{set.seed} << 1)};

    for (uint32_t part = 0; part < set.part_sizes.size(); ++part) {
        std::string path = directory + "/" + part_file_name(set.base_name, part);
        FILE* file = fopen(path.c_str(), "wb");
        if (file == nullptr) {
            fprintf(stderr, "cannot create %s\n", path.c_str());
            return false;
        }
        uint64_t size = set.part_sizes[part];
        bool ok = true;
        for (uint64_t start = 0; start < size && ok; start += BLOCK) {
            size_t count = static_cast<size_t>(std::min<uint64_t>(BLOCK, size - start));
            fill_random(random, block.data(), count);
            if (part == 0 && start == 0)
                memcpy(block.data(), header.data(), std::min(count, HEADER));
            for (size_t m = 0; m < set.markers.size(); ++m) {
                const MarkerPlace& place = set.markers[m];
                if (place.part != part || place.offset < start || place.offset >= start + count)
                    continue;
                std::vector<unsigned char> marker = marker_header(set, static_cast<uint32_t>(m + 1));
                size_t at = static_cast<size_t>(place.offset - start);
                memcpy(block.data() + at, marker.data(), std::min(HEADER, count - at));
            }
            ok = fwrite(block.data(), 1, count, file) == count;
        }
        if (fclose(file) != 0 || !ok) {
            fprintf(stderr, "cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}
