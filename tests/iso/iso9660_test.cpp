// The ISO9660 root directory lookup on built volumes: names, directory
// layout, multi-extent files, sessions, and damaged or foreign media.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/iso9660.h"
#include "tests/iso/iso_builder.h"
#include "tools/image_builder.h"

namespace {

constexpr uint64_t S = ISO_SECTOR_SIZE;
constexpr uint64_t WHOLE = UINT64_MAX;

// A medium served from memory. Reads past the bytes held come up short, as on
// a device that reports more than it can deliver; reads the reader should
// never make (unaligned, or outside medium_size) are counted as misuse.
struct Medium {
    std::vector<unsigned char> bytes;
    uint64_t size = WHOLE;  // medium_size passed to the reader; WHOLE: bytes.size()
    uint64_t session = 0;
    uint64_t fail_from = WHOLE;  // sectors at or past this offset fail
    int misuse = 0;
};

bool read_medium(void* context, uint64_t offset, unsigned char* sector)
{
    Medium& medium = *static_cast<Medium*>(context);
    uint64_t size = medium.size == WHOLE ? medium.bytes.size() : medium.size;
    if (offset % S != 0 || reinterpret_cast<uintptr_t>(sector) % 4096 != 0 || offset > size || size - offset < S) {
        ++medium.misuse;
        return false;
    }
    if (offset >= medium.fail_from || offset + S > medium.bytes.size())
        return false;
    memcpy(sector, &medium.bytes[offset], S);
    return true;
}

IsoLookup lookup(Medium& medium, const char* name, IsoFile& file)
{
    uint64_t size = medium.size == WHOLE ? medium.bytes.size() : medium.size;
    IsoLookup result = iso_find_in_root(read_medium, &medium, size, medium.session, name, file);
    EXPECT_EQ(iso_is_volume(read_medium, &medium, size, medium.session), result != ISO_NOT_A_VOLUME);
    EXPECT_EQ(medium.misuse, 0) << "reads outside the medium or unaligned";
    return result;
}

// The file's bytes gathered through its extents.
std::vector<unsigned char> gather(const std::vector<unsigned char>& bytes, const IsoFile& file)
{
    std::vector<unsigned char> data;
    for (uint32_t i = 0; i < file.extent_count; ++i) {
        const IsoExtent& extent = file.extents[i];
        if (extent.offset > bytes.size() || bytes.size() - extent.offset < extent.length)
            return {};
        data.insert(data.end(), bytes.begin() + extent.offset, bytes.begin() + extent.offset + extent.length);
    }
    return data;
}

IsoRecordLayout file(const std::string& name, size_t size, uint32_t seed)
{
    IsoRecordLayout record;
    record.name = name;
    record.contents = random_bytes(size, seed);
    return record;
}

// Expects record `index` of layout found as one extent with its contents.
void expect_single_extent(const IsoImage& image, const IsoLayout& layout, size_t index, const IsoFile& found)
{
    const IsoRecordLayout& record = layout.records[index];
    ASSERT_EQ(found.extent_count, 1u);
    EXPECT_EQ(found.extents[0].offset, image.contents_at[index]);
    EXPECT_EQ(found.extents[0].length, record.contents.size());
    EXPECT_EQ(found.size, record.contents.size());
    EXPECT_EQ(gather(image.bytes, found), record.contents);
}

TEST(Iso9660Names, MatchIgnoringCaseVersionAndTrailingDot)
{
    IsoLayout layout;
    layout.records = {file("KORVADIS.IMG;1", 5000, 1), file("KORVADIS.001;1", 3 * S + 7, 2), file("FOO.;1", 100, 3),
                    file("BAR", 10, 4), file("BAZ.TXT;12", 20, 5), placed_record("DATA", 40, 2048, ISO_FLAG_DIRECTORY),
                    file("DATA.;1", 30, 6), file("HIDDEN.BIN;1", 40, 7), file("PAIR.;1", 50, 8),
                    file("PAIR.;1", 60, 9), file("EMPTY.;1", 0, 10), file("XATTR.DAT;1", 3000, 11),
                    file("RR.TXT;1", 70, 12), file(".;1", 80, 13)};
    layout.records[7].flags = ISO_FLAG_HIDDEN;
    layout.records[8].flags = ISO_FLAG_ASSOCIATED;
    layout.records[11].ext_attr_blocks = 2;
    layout.records[12].system_use = 120;
    const IsoImage image = build_iso(layout);

    struct NameCase {
        const char* query;
        int record;  // -1: absent
    };
    const NameCase cases[] = {
        {"KORVADIS.IMG", 0}, {"korvadis.img", 0}, {"Korvadis.Img;1", 0}, {"KORVADIS.001", 1}, {"korvadis.001", 1},
        {"FOO", 2}, {"foo.", 2}, {"FOO;1", 2}, {"BAR", 3}, {"bar;1", 3}, {"baz.txt", 4},
        {"data", 6},         // the directory of that name is passed over
        {"hidden.bin", 7},   // hidden files are still files
        {"pair", 9},         // an associated file is not the file itself
        {"empty", 10}, {"xattr.dat", 11}, {"rr.txt", 12},
        {"KORVADIS", -1}, {"KORVADIS.IM", -1}, {"KORVADIS.IMGX", -1}, {"KORVADIS.002", -1}, {"FO", -1},
        {"BAR.X", -1}, {"", -1}, {".", -1}, {";1", -1}, {"\x01", -1},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.query);
        Medium medium{image.bytes};
        IsoFile found;
        IsoLookup result = lookup(medium, c.query, found);
        if (c.record < 0) {
            EXPECT_EQ(result, ISO_ABSENT);
            continue;
        }
        ASSERT_EQ(result, ISO_FOUND);
        expect_single_extent(image, layout, static_cast<size_t>(c.record), found);
    }

    Medium medium{image.bytes};
    IsoFile found;
    EXPECT_EQ(lookup(medium, std::string(300, 'A').c_str(), found), ISO_ABSENT);
    ASSERT_EQ(lookup(medium, ("FOO;" + std::string(300, '1')).c_str(), found), ISO_FOUND);
    expect_single_extent(image, layout, 2, found);
    EXPECT_EQ(lookup(medium, nullptr, found), ISO_ABSENT);
}

// A root directory of several sectors: records fill a sector, the rest of it
// is zeros, and the walk goes on at the next sector.
TEST(Iso9660Layout, NamesInLaterRootSectorsAreFound)
{
    IsoLayout layout;
    for (int i = 0; i < 60; ++i)
        layout.records.push_back(file("FILE" + std::to_string(100 + i) + ".DAT;1", 100 + i, i));
    layout.records.push_back(file("LATE.;1", 5, 99));
    layout.records.back().new_sector = true;
    layout.root_sectors = 4;
    const IsoImage image = build_iso(layout);

    // The first record that did not fit the first sector, and the sector it left unfilled.
    size_t spill = 0;
    while (image.record_at[spill] < image.root + S)
        ++spill;
    ASSERT_GT(spill, 1u);
    ASSERT_EQ(image.record_at[spill], image.root + S);
    ASSERT_EQ(image.bytes[image.root + S - 1], 0);
    ASSERT_EQ(image.record_at.back(), image.root + 2 * S);
    ASSERT_EQ(image.root_size, 4 * S);

    const size_t wanted[] = {0, spill - 1, spill, spill + 1, layout.records.size() - 2, layout.records.size() - 1};
    for (size_t index : wanted) {
        const std::string query = layout.records[index].name.substr(0, layout.records[index].name.find(';'));
        SCOPED_TRACE(query);
        Medium medium{image.bytes};
        IsoFile found;
        ASSERT_EQ(lookup(medium, query.c_str(), found), ISO_FOUND);
        expect_single_extent(image, layout, index, found);
    }
    Medium medium{image.bytes};
    IsoFile found;
    EXPECT_EQ(lookup(medium, "FILE160.DAT", found), ISO_ABSENT);
}

// A file over 4 GiB is recorded as consecutive records of one name; extents
// past the end of the medium are returned as recorded.
TEST(Iso9660MultiExtent, ExtentsInOrderAndSizeSummed)
{
    const uint32_t big = 0xFFFFF800;
    const uint32_t big_blocks = big / 2048;
    struct ChainCase {
        const char* what;
        std::vector<IsoRecordLayout> chain;
    };
    std::vector<IsoRecordLayout> longest;
    for (uint32_t i = 0; i < ISO_MAX_EXTENTS; ++i)
        longest.push_back(placed_record("BIG.;1", 3000 + i, 2048 * (i + 1),
                                 i + 1 < ISO_MAX_EXTENTS ? ISO_FLAG_MORE_EXTENTS : 0));
    std::vector<IsoRecordLayout> across_sectors = {placed_record("BIG.;1", 1000, big, ISO_FLAG_MORE_EXTENTS),
                                                 placed_record("BIG.;1", 1000 + big_blocks, 4096, 0)};
    across_sectors[1].new_sector = true;
    const ChainCase cases[] = {
        {"three extents",
         {placed_record("BIG.;1", 1000, big, ISO_FLAG_MORE_EXTENTS),
          placed_record("BIG.;1", 1000 + big_blocks, big, ISO_FLAG_MORE_EXTENTS),
          placed_record("BIG.;1", 1000 + 2 * big_blocks, 12345, 0)}},
        {"chain continued in the next sector", across_sectors},
        {"as many extents as kept", longest},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.what);
        IsoLayout layout;
        // Another file's chain first: its records must not join the one looked up.
        layout.records = {placed_record("OTHER.;1", 500, big, ISO_FLAG_MORE_EXTENTS), placed_record("OTHER.;1", 600, 10, 0)};
        layout.records.insert(layout.records.end(), c.chain.begin(), c.chain.end());
        layout.records.push_back(file("AFTER.;1", 10, 1));
        const IsoImage image = build_iso(layout);

        Medium medium{image.bytes};
        IsoFile found;
        ASSERT_EQ(lookup(medium, "big", found), ISO_FOUND);
        ASSERT_EQ(found.extent_count, c.chain.size());
        uint64_t total = 0;
        for (size_t i = 0; i < c.chain.size(); ++i) {
            EXPECT_EQ(found.extents[i].offset, uint64_t{c.chain[i].lba} * S) << "extent " << i;
            EXPECT_EQ(found.extents[i].length, c.chain[i].length) << "extent " << i;
            total += c.chain[i].length;
        }
        EXPECT_EQ(found.size, total);
    }
}

// The descriptors of the session given count; extents stay absolute.
TEST(Iso9660Sessions, LastSessionDescriptorsCount)
{
    IsoLayout first;
    first.records = {file("OLD.;1", 3000, 1)};
    const IsoImage old_image = build_iso(first);
    const uint32_t session_block = static_cast<uint32_t>(old_image.bytes.size() / S) + 150;

    IsoLayout second;
    second.session_block = session_block;
    second.records = {placed_record("OLD.;1", static_cast<uint32_t>(old_image.contents_at[0] / S), 3000, 0),
                      file("KORVADIS.IMG;1", 7000, 2)};
    IsoImage image = build_iso(second);
    std::copy(old_image.bytes.begin(), old_image.bytes.end(), image.bytes.begin());

    struct SessionCase {
        uint64_t session;
        const char* name;
        IsoLookup expected;
        uint64_t offset;
    };
    const SessionCase cases[] = {
        {0, "OLD", ISO_FOUND, old_image.contents_at[0]},
        {0, "KORVADIS.IMG", ISO_ABSENT, 0},
        {uint64_t{session_block} * S, "KORVADIS.IMG", ISO_FOUND, image.contents_at[1]},
        {uint64_t{session_block} * S, "OLD", ISO_FOUND, old_image.contents_at[0]},
        {uint64_t{session_block - 1} * S, "KORVADIS.IMG", ISO_NOT_A_VOLUME, 0},
    };
    for (const SessionCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in the session at " + std::to_string(c.session));
        Medium medium{image.bytes};
        medium.session = c.session;
        IsoFile found;
        ASSERT_EQ(lookup(medium, c.name, found), c.expected);
        if (c.expected == ISO_FOUND) {
            ASSERT_EQ(found.extent_count, 1u);
            EXPECT_EQ(found.extents[0].offset, c.offset);
        }
    }
}

// The volume everything below starts from: the file looked up is the second
// one, so damage to the first lies on the way to it.
IsoLayout base_layout()
{
    IsoLayout layout;
    layout.records = {file("KORVADIS.IMG;1", 3000, 1), file("KORVADIS.001;1", 100, 2), file("OTHER.;1", 10, 3)};
    return layout;
}

struct VolumeCase {
    const char* what;
    void (*shape)(IsoLayout& layout);                        // nullptr: the base volume
    void (*damage)(IsoImage& image, Medium& medium);     // nullptr: left whole
    IsoLookup expected;
    const char* name = "KORVADIS.001";
};

void check_volume_cases(const VolumeCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const VolumeCase& c = cases[i];
        SCOPED_TRACE(c.what);
        IsoLayout layout = base_layout();
        if (c.shape)
            c.shape(layout);
        IsoImage image = build_iso(layout);
        Medium medium;
        if (c.damage)
            c.damage(image, medium);
        medium.bytes = image.bytes;
        IsoFile found;
        IsoLookup result = lookup(medium, c.name, found);
        EXPECT_EQ(result, c.expected);
        if (result == ISO_FOUND) {
            EXPECT_EQ(found.extent_count, 1u);
            EXPECT_EQ(found.size, 100u);
        }
    }
}

std::vector<unsigned char> descriptors_without_terminator(uint32_t count)
{
    std::vector<unsigned char> types(count, 2);
    types[0] = 1;
    return types;
}

// Where the walk must stop: the descriptors and the root directory's place.
TEST(Iso9660Damage, VolumeStructure)
{
    const VolumeCase cases[] = {
        {"whole volume", nullptr, nullptr, ISO_FOUND},
        {"identifier other than CD001", nullptr, [](IsoImage& m, Medium&) { m.bytes[m.pvd + 5] = '2'; },
         ISO_NOT_A_VOLUME},
        {"blank medium", nullptr, [](IsoImage& m, Medium&) { m.bytes.assign(m.bytes.size(), 0); },
         ISO_NOT_A_VOLUME},
        {"medium ends inside sector 16", nullptr, [](IsoImage& m, Medium&) { m.bytes.resize(17 * S - 1); },
         ISO_NOT_A_VOLUME},
        {"empty medium", nullptr, [](IsoImage& m, Medium&) { m.bytes.clear(); }, ISO_NOT_A_VOLUME},
        {"session offset not on a sector", nullptr, [](IsoImage&, Medium& d) { d.session = 1; }, ISO_NOT_A_VOLUME},
        {"session past the medium", nullptr, [](IsoImage& m, Medium& d) { d.session = m.bytes.size() + S; },
         ISO_NOT_A_VOLUME},
        {"first descriptor unreadable", nullptr, [](IsoImage&, Medium& d) { d.fail_from = 16 * S; },
         ISO_NOT_A_VOLUME},
        {"primary descriptor of version 2", nullptr, [](IsoImage& m, Medium&) { m.bytes[m.pvd + ISO_PVD_VERSION] = 2; },
         ISO_DAMAGED},
        {"logical block size 512", nullptr,
         [](IsoImage& m, Medium&) { put_both16(m.bytes, m.pvd + ISO_PVD_BLOCK_SIZE, 512); }, ISO_DAMAGED},
        {"no primary descriptor", [](IsoLayout& s) { s.descriptors = {2, 255}; }, nullptr, ISO_DAMAGED},
        {"primary after a boot record and a supplementary descriptor",
         [](IsoLayout& s) { s.descriptors = {0, 2, 1, 255}; }, nullptr, ISO_FOUND},
        {"second primary descriptor passed over", [](IsoLayout& s) { s.descriptors = {1, 1, 255}; },
         [](IsoImage& m, Medium&) { put_both32(m.bytes, m.pvd + S + ISO_PVD_ROOT_RECORD + ISO_REC_LBA, 0x7FFFFFFF); },
         ISO_FOUND},
        {"terminator last of the descriptors read",
         [](IsoLayout& s) {
             s.descriptors = descriptors_without_terminator(ISO_MAX_DESCRIPTORS - 1);
             s.descriptors.push_back(255);
         },
         nullptr, ISO_FOUND},
        {"terminator one past the descriptors read",
         [](IsoLayout& s) {
             s.descriptors = descriptors_without_terminator(ISO_MAX_DESCRIPTORS);
             s.descriptors.push_back(255);
         },
         nullptr, ISO_DAMAGED},
        {"later descriptor without CD001", [](IsoLayout& s) { s.descriptors = {1, 2, 255}; },
         [](IsoImage& m, Medium&) { m.bytes[m.pvd + S + 1] = 'X'; }, ISO_DAMAGED},
        {"later descriptor unreadable", nullptr, [](IsoImage& m, Medium& d) { d.fail_from = m.pvd + S; },
         ISO_DAMAGED},
        {"descriptors run off the medium", [](IsoLayout& s) { s.descriptors = {1, 2, 2, 255}; },
         [](IsoImage& m, Medium&) { m.bytes.resize(m.pvd + 2 * S); }, ISO_DAMAGED},
        {"root directory beyond the medium", nullptr,
         [](IsoImage& m, Medium&) { put_both32(m.bytes, m.pvd + ISO_PVD_ROOT_RECORD + ISO_REC_LBA, 0x7FFFFFFF); },
         ISO_DAMAGED},
        {"root directory partly beyond the medium", nullptr,
         [](IsoImage& m, Medium&) {
             put_both32(m.bytes, m.pvd + ISO_PVD_ROOT_RECORD + ISO_REC_DATA_LENGTH,
                        static_cast<uint32_t>(m.bytes.size() - m.root + 1));
         },
         ISO_DAMAGED},
        {"root directory in the system area", nullptr,
         [](IsoImage& m, Medium&) { put_both32(m.bytes, m.pvd + ISO_PVD_ROOT_RECORD + ISO_REC_LBA, 15); },
         ISO_DAMAGED},
        {"root directory of size 0", nullptr,
         [](IsoImage& m, Medium&) { put_both32(m.bytes, m.pvd + ISO_PVD_ROOT_RECORD + ISO_REC_DATA_LENGTH, 0); },
         ISO_DAMAGED},
        {"root directory over the size bound", nullptr,
         [](IsoImage& m, Medium&) {
             m.bytes.resize(m.root + ISO_MAX_ROOT_SIZE + 2 * S);
             std::fill(m.bytes.begin() + m.root + S, m.bytes.end(), 0);
             put_both32(m.bytes, m.pvd + ISO_PVD_ROOT_RECORD + ISO_REC_DATA_LENGTH, ISO_MAX_ROOT_SIZE + 1);
         },
         ISO_DAMAGED},
        {"root directory at the size bound, walked to its end", nullptr,
         [](IsoImage& m, Medium&) {
             // Zeros after the first sector: every later sector holds no records.
             m.bytes.resize(m.root + ISO_MAX_ROOT_SIZE);
             std::fill(m.bytes.begin() + m.root + S, m.bytes.end(), 0);
             put_both32(m.bytes, m.pvd + ISO_PVD_ROOT_RECORD + ISO_REC_DATA_LENGTH, ISO_MAX_ROOT_SIZE);
         },
         ISO_ABSENT, "NOSUCH"},
        {"medium truncated inside the root directory", [](IsoLayout& s) { s.root_sectors = 2; },
         [](IsoImage& m, Medium&) { m.bytes.resize(m.root + S + 100); }, ISO_DAMAGED},
        {"root directory sector unreadable", [](IsoLayout& s) { s.records[1].new_sector = true; },
         [](IsoImage& m, Medium& d) { d.fail_from = m.root + S; }, ISO_DAMAGED},
        {"device shorter than it reports", [](IsoLayout& s) { s.records[1].new_sector = true; },
         [](IsoImage& m, Medium& d) {
             d.size = m.bytes.size();
             m.bytes.resize(m.root + S);
         },
         ISO_DAMAGED},
    };
    check_volume_cases(cases, sizeof cases / sizeof cases[0]);
}

// The root directory's records, and the records of the file looked up.
TEST(Iso9660Damage, DirectoryRecords)
{
    const VolumeCase cases[] = {
        {"record length 33 without a name, last in the directory", nullptr,
         [](IsoImage& m, Medium&) {
             m.bytes[m.record_at[2]] = 33;
             m.bytes[m.record_at[2] + ISO_REC_NAME_LENGTH] = 0;
             std::fill(m.bytes.begin() + m.record_at[2] + 33, m.bytes.begin() + m.root + S, 0);
         },
         ISO_DAMAGED, "NOSUCH"},
        {"record length 1", nullptr, [](IsoImage& m, Medium&) { m.bytes[m.record_at[0]] = 1; }, ISO_DAMAGED},
        {"record runs past its sector",
         [](IsoLayout& s) {
             // Records of 236 bytes ahead push the file looked up into the next sector.
             for (int i = 0; i < 8; ++i) {
                 s.records.insert(s.records.begin(), file("F" + std::to_string(i), 1, i));
                 s.records.front().system_use = 200;
             }
         },
         [](IsoImage& m, Medium&) {
             size_t last = 0;  // the last record of the first sector
             while (m.record_at[last + 1] < m.root + S)
                 ++last;
             uint64_t reach = S - (m.record_at[last] - m.root) + 2;
             ASSERT_LE(reach, 255u);
             m.bytes[m.record_at[last]] = static_cast<unsigned char>(reach);
         },
         ISO_DAMAGED},
        {"record past the directory's recorded size", nullptr,
         [](IsoImage& m, Medium&) { put_both32(m.bytes, m.pvd + ISO_PVD_ROOT_RECORD + ISO_REC_DATA_LENGTH, 100); },
         ISO_DAMAGED},
        {"name runs past its record", nullptr,
         [](IsoImage& m, Medium&) {
             m.bytes[m.record_at[0] + ISO_REC_NAME_LENGTH] = static_cast<unsigned char>(m.bytes[m.record_at[0]] - 32);
         },
         ISO_DAMAGED},
        {"name fills its record exactly", nullptr,
         [](IsoImage& m, Medium&) {
             m.bytes[m.record_at[0] + ISO_REC_NAME_LENGTH] = static_cast<unsigned char>(m.bytes[m.record_at[0]] - 33);
         },
         ISO_FOUND},
        {"file recorded interleaved", nullptr,
         [](IsoImage& m, Medium&) { m.bytes[m.record_at[1] + ISO_REC_UNIT_SIZE] = 1; }, ISO_DAMAGED},
        {"another file recorded interleaved", nullptr,
         [](IsoImage& m, Medium&) { m.bytes[m.record_at[0] + ISO_REC_UNIT_SIZE] = 1; }, ISO_FOUND},
        {"parent entry without the directory flag", nullptr,
         [](IsoImage& m, Medium&) { m.bytes[m.root + 34 + ISO_REC_FLAGS] = 0; }, ISO_ABSENT, "\x01"},
        {"another file's broken chain", nullptr,
         [](IsoImage& m, Medium&) { m.bytes[m.record_at[0] + ISO_REC_FLAGS] = ISO_FLAG_MORE_EXTENTS; }, ISO_FOUND},
        {"chain ends with the directory", nullptr,
         [](IsoImage& m, Medium&) { m.bytes[m.record_at[2] + ISO_REC_FLAGS] = ISO_FLAG_MORE_EXTENTS; },
         ISO_DAMAGED, "OTHER"},
        {"chain meets another name",
         [](IsoLayout& s) { s.records[1].flags = ISO_FLAG_MORE_EXTENTS; }, nullptr, ISO_DAMAGED},
        {"chain meets another name of the same length",
         [](IsoLayout& s) {
             s.records[1].flags = ISO_FLAG_MORE_EXTENTS;
             s.records[2].name = "KORVADIS.002;1";
         },
         nullptr, ISO_DAMAGED},
        {"chain meets a directory of the same name",
         [](IsoLayout& s) {
             s.records[1].flags = ISO_FLAG_MORE_EXTENTS;
             s.records[2] = placed_record("KORVADIS.001;1", 40, 2048, ISO_FLAG_DIRECTORY);
         },
         nullptr, ISO_DAMAGED},
        {"chain of more extents than kept",
         [](IsoLayout& s) {
             s.records.resize(1);
             for (uint32_t i = 0; i <= ISO_MAX_EXTENTS; ++i)
                 s.records.push_back(placed_record("KORVADIS.001;1", 100 + i, 2048, ISO_FLAG_MORE_EXTENTS));
             s.records.back().flags = 0;
         },
         nullptr, ISO_DAMAGED},
    };
    check_volume_cases(cases, sizeof cases / sizeof cases[0]);
}

}  // namespace
