// Looks a name up in the root directory of an image file with the ISO9660
// reader and prints its extents or its bytes, for checks against other tools.
//
//   iso_cat [--session BYTES] [--extents] IMAGE NAME
//
// Without --extents the file's bytes go to standard output. Exit status:
// 0 found, 1 absent, 2 not a volume, 3 damaged, 4 usage or I/O error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "platform/iso9660.h"

namespace {

bool read_image(void* context, uint64_t offset, unsigned char* sector)
{
    std::ifstream& image = *static_cast<std::ifstream*>(context);
    image.clear();
    image.seekg(static_cast<std::streamoff>(offset));
    image.read(reinterpret_cast<char*>(sector), ISO_SECTOR_SIZE);
    return image.gcount() == ISO_SECTOR_SIZE;
}

bool copy_extent(std::ifstream& image, const IsoExtent& extent)
{
    std::vector<char> buffer(1 << 16);
    image.clear();
    image.seekg(static_cast<std::streamoff>(extent.offset));
    for (uint64_t left = extent.length; left > 0;) {
        size_t count = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
        image.read(buffer.data(), static_cast<std::streamsize>(count));
        if (static_cast<size_t>(image.gcount()) != count || fwrite(buffer.data(), 1, count, stdout) != count)
            return false;
        left -= count;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    uint64_t session = 0;
    bool extents_only = false;
    int arg = 1;
    for (; arg < argc && strncmp(argv[arg], "--", 2) == 0; ++arg) {
        if (strcmp(argv[arg], "--extents") == 0)
            extents_only = true;
        else if (strcmp(argv[arg], "--session") == 0 && arg + 1 < argc)
            session = strtoull(argv[++arg], nullptr, 10);
        else
            break;
    }
    if (argc - arg != 2) {
        fprintf(stderr, "usage: iso_cat [--session BYTES] [--extents] IMAGE NAME\n");
        return 4;
    }
    std::ifstream image(argv[arg], std::ios::binary | std::ios::ate);
    if (!image) {
        fprintf(stderr, "iso_cat: cannot open %s\n", argv[arg]);
        return 4;
    }
    uint64_t size = static_cast<uint64_t>(image.tellg());

    IsoFile file;
    switch (iso_find_in_root(read_image, &image, size, session, argv[arg + 1], file)) {
    case ISO_FOUND:
        break;
    case ISO_ABSENT:
        return 1;
    case ISO_NOT_A_VOLUME:
        return 2;
    case ISO_DAMAGED:
        return 3;
    }
    if (extents_only) {
        for (uint32_t i = 0; i < file.extent_count; ++i)
            printf("extent %llu %llu\n", static_cast<unsigned long long>(file.extents[i].offset),
                   static_cast<unsigned long long>(file.extents[i].length));
        printf("size %llu\n", static_cast<unsigned long long>(file.size));
        return 0;
    }
    for (uint32_t i = 0; i < file.extent_count; ++i)
        if (!copy_extent(image, file.extents[i])) {
            fprintf(stderr, "iso_cat: extent %u cannot be read whole\n", i);
            return 4;
        }
    return fflush(stdout) == 0 ? 0 : 4;
}
