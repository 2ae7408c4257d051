// mkimage: writes a sample image set for spanfetch to copy, or the destination
// parts its conversion must leave.
//   mkimage DIR SIZE[,SIZE...] [--marker PART:OFFSET]... [--signature XYZ] [--seed N]
//   mkimage --expect DIR BASE SIZE[,SIZE...] [the same options] [--stop PART:OFFSET]
// The second form writes, instead of the set, the parts BASE.IMG, BASE.001 ...
// that converting it leaves, and prints where the copy ends as PART:OFFSET.
// With --stop the run is one that fails at PART:OFFSET: the parts as copied up
// to there, part 0 unconverted.
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

// PART:OFFSET
bool parse_place(const char* text, uint32_t& part, uint64_t& offset)
{
    char* colon = nullptr;
    unsigned long number = strtoul(text, &colon, 10);
    if (colon == text || *colon != ':' || number > UINT32_MAX)
        return false;
    part = static_cast<uint32_t>(number);
    return parse_size(colon + 1, offset);
}

int usage()
{
    fprintf(stderr,
            "usage: mkimage DIR SIZE[,SIZE...] [--marker PART:OFFSET]... [--signature XYZ] [--seed N]\n"
            "       mkimage --expect DIR BASE SIZE[,SIZE...] [the same options] [--stop PART:OFFSET]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    bool expect = argc > 1 && strcmp(argv[1], "--expect") == 0;
    int first = expect ? 2 : 1;  // DIR, then BASE when expecting
    int sizes = expect ? 4 : 2;
    if (argc <= sizes)
        return usage();
    ImageSet set;
    for (const char* p = argv[sizes]; *p;) {
        uint64_t size;
        if (!parse_size(p, size))
            return usage();
        set.part_sizes.push_back(size);
        const char* comma = strchr(p, ',');
        p = comma ? comma + 1 : p + strlen(p);
    }
    bool stopped = false;
    CopyEnd stop{0, 0, false};
    for (int i = sizes + 1; i < argc; ++i) {
        if (strcmp(argv[i], "--marker") == 0 && i + 1 < argc) {
            MarkerPlace place;
            if (!parse_place(argv[++i], place.part, place.offset))
                return usage();
            set.markers.push_back(place);
        } else if (strcmp(argv[i], "--signature") == 0 && i + 1 < argc) {
            set.signature = argv[++i];
        } else if (strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            set.seed = static_cast<uint32_t>(strtoul(argv[++i], nullptr, 10));
        } else if (expect && strcmp(argv[i], "--stop") == 0 && i + 1 < argc) {
            if (!parse_place(argv[++i], stop.part, stop.offset))
                return usage();
            stopped = true;
        } else {
            return usage();
        }
    }
    if (!expect)
        return write_image_set(set, argv[first]) ? 0 : 1;

    CopyEnd end = stopped ? stop : conversion_end(set);
    if (!write_expected_parts(set, end, argv[first], argv[first + 1]))
        return 1;
    printf("%u:%llu\n", end.part, static_cast<unsigned long long>(end.offset));
    return 0;
}
