// mkimage: writes a sample image set for spanfetch to copy.
//   mkimage DIR SIZE[,SIZE...] [--marker PART:OFFSET]... [--signature XYZ] [--seed N]
// Sizes and offsets take an optional K, M or G suffix (powers of 1024).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/image_builder.h"

namespace {

bool parse_size(const char* text, uint64_t& value)
{
    char* end = nullptr;
    unsigned long long number = strtoull(text, &end, 10);
    if (end == text)
        return false;
    uint64_t scale = 1;
    if (*end == 'K' || *end == 'k') scale = 1ULL << 10, ++end;
    else if (*end == 'M' || *end == 'm') scale = 1ULL << 20, ++end;
    else if (*end == 'G' || *end == 'g') scale = 1ULL << 30, ++end;
    value = number * scale;
    return *end == '\0' || *end == ',' || *end == ':';
}

int usage()
{
    fprintf(stderr, "usage: mkimage DIR SIZE[,SIZE...] [--marker PART:OFFSET]... [--signature XYZ] [--seed N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    ImageSet set;
    for (const char* p = argv[2]; *p;) {
        uint64_t size;
        if (!parse_size(p, size))
            return usage();
        set.part_sizes.push_back(size);
        const char* comma = strchr(p, ',');
        p = comma ? comma + 1 : p + strlen(p);
    }
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--marker") == 0 && i + 1 < argc) {
            const char* place = argv[++i];
            const char* colon = strchr(place, ':');
            uint64_t offset;
            if (colon == nullptr || !parse_size(colon + 1, offset))
                return usage();
            set.markers.push_back({static_cast<uint32_t>(atoi(place)), offset});
        } else if (strcmp(argv[i], "--signature") == 0 && i + 1 < argc) {
            set.signature = argv[++i];
        } else if (strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            set.seed = static_cast<uint32_t>(strtoul(argv[++i], nullptr, 10));
        } else {
            return usage();
        }
    }
    return write_image_set(set, argv[1]) ? 0 : 1;
}
