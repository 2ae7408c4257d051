// Writes the ISO9660 fuzz target's seed corpus: small valid volumes built
// with the test volume builder, one file each.
//   iso_seeds DIRECTORY
#include <cstdio>
#include <string>

#include "tests/iso/iso_builder.h"

namespace {

IsoRecordLayout record(const std::string& name, size_t size, unsigned char flags = 0)
{
    IsoRecordLayout layout;
    layout.name = name;
    layout.contents.assign(size, static_cast<unsigned char>('a' + size % 26));
    layout.flags = flags;
    return layout;
}

bool write_seed(const std::string& directory, const char* name, const IsoLayout& layout)
{
    const IsoImage image = build_iso(layout);
    std::string path = directory + "/" + name;
    FILE* out = fopen(path.c_str(), "wb");
    bool written = out && fwrite(image.bytes.data(), 1, image.bytes.size(), out) == image.bytes.size();
    if (out && fclose(out) != 0)
        written = false;
    if (!written)
        fprintf(stderr, "iso_seeds: cannot write %s\n", path.c_str());
    return written;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: iso_seeds DIRECTORY\n");
        return 2;
    }
    const std::string directory = argv[1];
    bool ok = true;

    IsoLayout plain;
    plain.records = {record("KORVADIS.IMG;1", 3000), record("KORVADIS.001;1", 100), record("FOO.;1", 1)};
    ok &= write_seed(directory, "plain.iso", plain);

    IsoLayout two_sectors;
    for (int i = 0; i < 50; ++i)
        two_sectors.records.push_back(record("FILE" + std::to_string(100 + i) + ".DAT;1", 0));
    two_sectors.records.push_back(record("KORVADIS.001;1", 10));
    two_sectors.records.back().new_sector = true;
    ok &= write_seed(directory, "two_sectors.iso", two_sectors);

    IsoLayout multi_extent;
    multi_extent.records = {placed_record("BIG.;1", 40, 0xFFFFF800, ISO_FLAG_MORE_EXTENTS),
                            placed_record("BIG.;1", 40 + 0x1FFFFF, 0xFFFFF800, ISO_FLAG_MORE_EXTENTS),
                            placed_record("BIG.;1", 40 + 2 * 0x1FFFFF, 5000, 0), record("KORVADIS.IMG;1", 10)};
    ok &= write_seed(directory, "multi_extent.iso", multi_extent);

    IsoLayout varied;
    varied.descriptors = {0, 2, 1, 255};
    varied.records = {placed_record("KORVADIS.IMG", 30, 2048, ISO_FLAG_DIRECTORY), record("KORVADIS.IMG;1", 5),
                      record("KORVADIS.001;1", 5, ISO_FLAG_ASSOCIATED), record("KORVADIS.001;1", 7),
                      record("FOO.", 9, ISO_FLAG_HIDDEN)};
    varied.records[1].ext_attr_blocks = 1;
    varied.records[3].system_use = 60;
    ok &= write_seed(directory, "varied.iso", varied);

    IsoLayout longest_chain;
    for (uint32_t i = 0; i < 64; ++i)
        longest_chain.records.push_back(placed_record("KORVADIS.IMG;1", 100 + i, 2048, i < 63 ? ISO_FLAG_MORE_EXTENTS : 0));
    ok &= write_seed(directory, "longest_chain.iso", longest_chain);

    // Just past the bounds: one extent too many, and a terminator out of reach.
    IsoLayout chain_too_long = longest_chain;
    chain_too_long.records.back().flags = ISO_FLAG_MORE_EXTENTS;
    chain_too_long.records.push_back(placed_record("KORVADIS.IMG;1", 164, 2048, 0));
    ok &= write_seed(directory, "chain_too_long.iso", chain_too_long);

    IsoLayout many_descriptors = plain;
    many_descriptors.descriptors.assign(33, 2);
    many_descriptors.descriptors[0] = 1;
    many_descriptors.descriptors[32] = 255;
    ok &= write_seed(directory, "many_descriptors.iso", many_descriptors);

    return ok ? 0 : 1;
}
