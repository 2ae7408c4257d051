// Sample image sets, made stretch by stretch so large sets need little memory,
// and the destination parts their conversion must leave.
#include "tools/image_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t SECTOR = 2048;
constexpr uint64_t CHUNK = 31 * SECTOR;
constexpr size_t HEADER = 108;
constexpr size_t BLOCK = 1 << 20;

// Header bytes an end marker must repeat, as {first, count}; they all lie
// within a sector's first MARKER_SPAN bytes. A sector counts only when its
// whole header lies within its part, since the header is what part 0 receives.
constexpr size_t IDENTITY[4][2] = {{0, 10}, {18, 9}, {36, 12}, {50, 2}};
constexpr size_t MARKER_SPAN = 52;

// splitmix64's output function: word n of a stream is mix(key + n * step), so
// any stretch of a stream can be made without the words before it.
constexpr uint64_t STEP = 0x9E3779B97F4A7C15ULL;

uint64_t mix(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Bytes [start, start + count) of the pseudo-random stream key: data no
// marker test can mistake for a header.
void fill_stream(uint64_t key, uint64_t start, unsigned char* bytes, size_t count)
{
    size_t done = 0;
    while (done < count) {
        uint64_t at = start + done;
        uint64_t word = mix(key + (at / 8 + 1) * STEP);
        size_t skip = static_cast<size_t>(at % 8);
        size_t take = std::min<size_t>(8 - skip, count - done);
        memcpy(bytes + done, reinterpret_cast<const unsigned char*>(&word) + skip, take);
        done += take;
    }
}

uint64_t header_key(const ImageSet& set)
{
    return mix(0xD1B54A32D192ED03ULL ^ set.seed);
}

uint64_t part_key(const ImageSet& set, uint32_t part)
{
    return mix((uint64_t{set.seed} << 32 | part) * STEP + 1);
}

// Copies the part of source (which starts at source_start) that falls within
// [start, start + count) into bytes, which hold that window.
void overlay(const std::vector<unsigned char>& source, uint64_t source_start, uint64_t source_end, uint64_t start,
             unsigned char* bytes, size_t count)
{
    uint64_t from = std::max(source_start, start);
    uint64_t to = std::min({source_start + source.size(), source_end, start + count});
    if (from < to)
        memcpy(bytes + (from - start), source.data() + (from - source_start), static_cast<size_t>(to - from));
}

bool identity_matches(const unsigned char* sector, const unsigned char* header)
{
    for (const auto& range : IDENTITY)
        if (memcmp(sector + range[0], header + range[0], range[1]) != 0)
            return false;
    return true;
}

// The header part 0 gets when the copy ends at end: the bytes found there, signed "IMG".
std::vector<unsigned char> converted_header(const ImageSet& set, const CopyEnd& end)
{
    uint64_t left = set.part_sizes[end.part] - end.offset;
    std::vector<unsigned char> header(static_cast<size_t>(std::min<uint64_t>(HEADER, left)));
    part_bytes(set, end.part, end.offset, header.data(), header.size());
    memcpy(header.data(), "IMG", std::min<size_t>(3, header.size()));
    return header;
}

// Bytes of the destination part `part` when the copy ends at end.
uint64_t expected_size(const ImageSet& set, const CopyEnd& end, uint32_t part)
{
    return part == end.part ? end.offset : set.part_sizes[part];
}

bool end_is_in_set(const ImageSet& set, const CopyEnd& end)
{
    return end.part < set.part_sizes.size() && end.offset <= set.part_sizes[end.part];
}

// Writes the first size bytes of a part to path, head (if any) over its start.
bool write_part(const ImageSet& set, uint32_t part, uint64_t size, const std::vector<unsigned char>& head,
                const std::string& path)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) {
        fprintf(stderr, "cannot create %s\n", path.c_str());
        return false;
    }
    std::vector<unsigned char> block(BLOCK);
    bool ok = true;
    for (uint64_t start = 0; start < size && ok; start += BLOCK) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(BLOCK, size - start));
        part_bytes(set, part, start, block.data(), count);
        overlay(head, 0, size, start, block.data(), count);
        ok = fwrite(block.data(), 1, count, file) == count;
    }
    if (fclose(file) != 0 || !ok) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

std::vector<unsigned char> image_header(const ImageSet& set)
{
    std::vector<unsigned char> header(HEADER);
    fill_stream(header_key(set), 0, header.data(), HEADER);
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

void part_bytes(const ImageSet& set, uint32_t part, uint64_t start, unsigned char* bytes, size_t count)
{
    fill_stream(part_key(set, part), start, bytes, count);
    uint64_t size = part < set.part_sizes.size() ? set.part_sizes[part] : 0;
    if (part == 0 && start < HEADER)
        overlay(image_header(set), 0, size, start, bytes, count);
    for (size_t m = 0; m < set.markers.size(); ++m) {
        const MarkerPlace& place = set.markers[m];
        if (place.part == part && place.offset < start + count && place.offset + HEADER > start)
            overlay(marker_header(set, static_cast<uint32_t>(m + 1)), place.offset, size, start, bytes, count);
    }
}

std::vector<unsigned char> part_bytes(const ImageSet& set, uint32_t part)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(part < set.part_sizes.size() ? set.part_sizes[part] : 0));
    part_bytes(set, part, 0, bytes.data(), bytes.size());
    return bytes;
}

std::vector<unsigned char> random_bytes(size_t count, uint64_t seed)
{
    std::vector<unsigned char> bytes(count);
    fill_stream(mix(seed ^ 0xA0761D6478BD642FULL), 0, bytes.data(), count);
    return bytes;
}

bool write_image_set(const ImageSet& set, const std::string& directory)
{
    for (uint32_t part = 0; part < set.part_sizes.size(); ++part)
        if (!write_part(set, part, set.part_sizes[part], {}, directory + "/" + part_file_name(set.base_name, part)))
            return false;
    return true;
}

CopyEnd conversion_end(const ImageSet& set)
{
    if (set.part_sizes.empty())
        return {0, 0, false};
    unsigned char header[HEADER];
    part_bytes(set, 0, 0, header, HEADER);
    for (uint32_t part = 0; part < set.part_sizes.size(); ++part) {
        uint64_t size = set.part_sizes[part];
        for (uint64_t chunk = part == 0 ? CHUNK : 0; chunk < size; chunk += CHUNK) {
            uint64_t chunk_end = std::min(chunk + CHUNK, size);
            bool found = false;
            uint64_t last = 0;
            for (uint64_t sector = chunk; sector + HEADER <= chunk_end; sector += SECTOR) {
                unsigned char bytes[MARKER_SPAN];
                part_bytes(set, part, sector, bytes, MARKER_SPAN);
                if (identity_matches(bytes, header))
                    found = true, last = sector;
            }
            if (found)
                return {part, last, true};
        }
    }
    uint32_t last_part = static_cast<uint32_t>(set.part_sizes.size() - 1);
    return {last_part, set.part_sizes[last_part], false};
}

std::vector<std::vector<unsigned char>> expected_parts(const ImageSet& set, const CopyEnd& end)
{
    std::vector<std::vector<unsigned char>> parts;
    if (!end_is_in_set(set, end))
        return parts;
    for (uint32_t part = 0; part <= end.part; ++part) {
        parts.push_back(part_bytes(set, part));
        parts.back().resize(static_cast<size_t>(expected_size(set, end, part)));
    }
    if (end.converted)
        overlay(converted_header(set, end), 0, parts[0].size(), 0, parts[0].data(), parts[0].size());
    return parts;
}

std::vector<std::vector<unsigned char>> expected_parts(const ImageSet& set)
{
    return expected_parts(set, conversion_end(set));
}

bool write_expected_parts(const ImageSet& set, const CopyEnd& end, const std::string& directory,
                          const std::string& base_name)
{
    if (!end_is_in_set(set, end)) {
        fprintf(stderr, "the copy cannot end at part %u offset %llu of this set\n", end.part,
                static_cast<unsigned long long>(end.offset));
        return false;
    }
    std::vector<unsigned char> header;
    if (end.converted)
        header = converted_header(set, end);
    for (uint32_t part = 0; part <= end.part; ++part)
        if (!write_part(set, part, expected_size(set, end, part), part == 0 ? header : std::vector<unsigned char>(),
                        directory + "/" + part_file_name(base_name, part)))
            return false;
    return true;
}
