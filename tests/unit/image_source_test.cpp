// The source layer over the fake file primitive: parts read from their
// extents in ISO9660 images (across extents, past 4 GiB, from truncated
// images), never reading outside them, and parts found in a folder of images.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/path_rules.h"
#include "platform/source_file.h"
#include "tests/fake/fake_disc_file.h"
#include "tests/iso/iso_builder.h"
#include "tools/image_builder.h"
#include "tests/native_path.h"

namespace {

constexpr uint32_t SECTOR = 2048;
constexpr uint64_t CHUNK = 31 * SECTOR;

uint64_t round_up(uint64_t bytes)
{
    return (bytes + SECTOR - 1) / SECTOR * SECTOR;
}

constexpr unsigned char GUARD = 0xA5;

// A page-aligned buffer with the room source_read may use for count bytes,
// followed by a guard sector that no read may touch.
struct ReadBuffer {
    explicit ReadBuffer(uint32_t count)
        : size(round_up(count)), bytes(new (std::align_val_t{4096}) unsigned char[size + SECTOR])
    {
        memset(bytes + size, GUARD, SECTOR);
    }
    ~ReadBuffer() { operator delete[](bytes, std::align_val_t{4096}); }
    bool guard_intact() const
    {
        for (uint32_t i = 0; i < SECTOR; ++i)
            if (bytes[size + i] != GUARD)
                return false;
        return true;
    }
    uint64_t size;
    unsigned char* bytes;
};

// An image whose root holds one file per (name, contents), each file
// recorded in extents of the given lengths, one record per extent.
struct FileLayout {
    std::string name;
    std::vector<unsigned char> contents;
    std::vector<uint32_t> extent_lengths;  // empty: one extent
};

IsoImage image_of(const std::vector<FileLayout>& files)
{
    IsoLayout layout;
    for (const FileLayout& file : files) {
        std::vector<uint32_t> lengths = file.extent_lengths;
        if (lengths.empty())
            lengths = {static_cast<uint32_t>(file.contents.size())};
        size_t taken = 0;
        for (size_t i = 0; i < lengths.size(); ++i) {
            IsoRecordLayout record;
            record.name = file.name;
            record.contents.assign(file.contents.begin() + taken, file.contents.begin() + taken + lengths[i]);
            record.flags = i + 1 < lengths.size() ? ISO_FLAG_MORE_EXTENTS : 0;
            taken += lengths[i];
            layout.records.push_back(record);
        }
    }
    return build_iso(layout);
}

struct Extent {
    uint64_t offset;
    uint64_t length;
};

// Where the records of `name` put its extents in image.
std::vector<Extent> extents_of(const IsoImage& image, const std::vector<FileLayout>& files, const std::string& name)
{
    std::vector<Extent> extents;
    size_t record = 0;
    for (const FileLayout& file : files) {
        size_t count = file.extent_lengths.empty() ? 1 : file.extent_lengths.size();
        for (size_t i = 0; i < count; ++i, ++record)
            if (file.name == name)
                extents.push_back({image.contents_at[record],
                                   file.extent_lengths.empty() ? file.contents.size() : file.extent_lengths[i]});
    }
    return extents;
}

// Reads the open part from its start in reads of `chunk` bytes until one
// comes up short; what they delivered.
std::vector<unsigned char> read_all(SourceFile* source, uint32_t chunk)
{
    std::vector<unsigned char> data;
    ReadBuffer buffer(chunk);
    for (;;) {
        uint32_t got = source_read(source, buffer.bytes, chunk);
        EXPECT_TRUE(buffer.guard_intact()) << "a read of " << chunk << " wrote past its room";
        data.insert(data.end(), buffer.bytes, buffer.bytes + got);
        if (got < chunk)
            return data;
    }
}

// Every read of the image since `first` moved bytes only inside the sectors of the part's extents.
void expect_reads_inside(const std::string& image, const std::vector<Extent>& extents, size_t first = 0)
{
    for (size_t i = first; i < fake_disc::reads.size(); ++i) {
        const fake_disc::Read& read = fake_disc::reads[i];
        ASSERT_EQ(read.path, image);
        bool inside = false;
        for (const Extent& extent : extents)
            inside |= read.position >= extent.offset &&
                      read.position + read.span <= extent.offset + round_up(extent.length);
        EXPECT_TRUE(inside) << "read of " << read.span << " bytes at " << read.position;
    }
}

class ImageSource : public ::testing::Test {
protected:
    void SetUp() override { fake_disc::reset(); }
    void TearDown() override
    {
        EXPECT_EQ(fake_disc::open_files(), 0) << "every file opened is closed";
        EXPECT_EQ(fake_disc::open_listings(), 0);
    }

    // Opens part `name` under `source` and reads it whole in chunks.
    std::vector<unsigned char> read_part(const std::string& source, const std::string& name, uint32_t chunk)
    {
        SourceFile* part = source_open(native(source + "/" + name).c_str());
        if (part == nullptr) {
            ADD_FAILURE() << name << " does not open";
            return {};
        }
        std::vector<unsigned char> data = read_all(part, chunk);
        source_close(part);
        return data;
    }
};

struct ExtentCase {
    const char* name;
    std::vector<uint32_t> lengths;
};

TEST_F(ImageSource, ReadsAPartFromItsExtentsInOrderAndNothingElse)
{
    const ExtentCase cases[] = {
        {"one extent", {5 * SECTOR + 100}},
        {"extents of whole sectors", {4 * SECTOR, 3 * SECTOR, 1000}},
        {"extents that end inside a sector", {5000, 2 * SECTOR + 1, 777}},
        {"an empty extent in the chain", {2 * SECTOR, 0, 3000}},
        {"a chunk's worth and more", {static_cast<uint32_t>(CHUNK) + SECTOR, static_cast<uint32_t>(CHUNK) - 100}},
    };
    for (const ExtentCase& c : cases) {
        uint32_t total = 0;
        for (uint32_t length : c.lengths)
            total += length;
        // Other files on both sides, so a read past the part would take their bytes.
        std::vector<FileLayout> files = {{"BEFORE.BIN;1", random_bytes(3000, 1), {}},
                                       {"KORVADIS.IMG;1", random_bytes(total, 2), c.lengths},
                                       {"AFTER.BIN;1", random_bytes(5000, 3), {}}};
        IsoImage image = image_of(files);
        std::vector<Extent> extents = extents_of(image, files, "KORVADIS.IMG;1");
        // Whole chunks as the copy reads, single sectors as its recovery
        // does, and odd counts that leave reads off the sector boundaries.
        for (uint32_t chunk : {static_cast<uint32_t>(CHUNK), SECTOR, 3000u, 1u}) {
            SCOPED_TRACE(std::string(c.name) + ", reads of " + std::to_string(chunk));
            fake_disc::reset();
            fake_disc::put_file("disc.iso", image.bytes);
            SourceFile* part = source_open(native("disc.iso/KORVADIS.IMG").c_str());
            ASSERT_NE(part, nullptr);
            EXPECT_EQ(source_size(part), total);
            size_t lookups = fake_disc::reads.size();
            EXPECT_TRUE(read_all(part, chunk) == files[1].contents);
            source_close(part);
            expect_reads_inside("disc.iso", extents, lookups);
        }
    }
}

TEST_F(ImageSource, SeeksAndReadsAcrossExtentsBeyondFourGibibytes)
{
    // Two extents as a writer splits a large file, recorded in file order
    // but lying on the medium the other way round, in a sparse image.
    const uint32_t first_length = 0xFFFFF800u;
    const uint32_t second_length = 70000;
    const uint32_t second_lba = 64;
    const uint32_t first_lba = second_lba + static_cast<uint32_t>(round_up(second_length) / SECTOR) + 10;
    IsoLayout layout;
    IsoRecordLayout record;
    record.name = "KORVADIS.IMG;1";
    record.extent_given = true;
    record.lba = first_lba;
    record.length = first_length;
    record.flags = ISO_FLAG_MORE_EXTENTS;
    layout.records.push_back(record);
    record.lba = second_lba;
    record.length = second_length;
    record.flags = 0;
    layout.records.push_back(record);
    IsoImage image = build_iso(layout);
    const uint64_t first_offset = uint64_t{first_lba} * SECTOR;
    const uint64_t second_offset = uint64_t{second_lba} * SECTOR;
    fake_disc::put_file("big.iso", image.bytes);
    fake_disc::entries["big.iso"].size = first_offset + first_length;

    SourceFile* part = source_open(native("big.iso/KORVADIS.IMG").c_str());
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(source_size(part), uint64_t{first_length} + second_length);

    // A chunk that starts two sectors before the split takes the rest from the second extent.
    ReadBuffer buffer(CHUNK);
    const uint64_t start = first_length - 2 * SECTOR;
    source_seek(part, start);
    ASSERT_EQ(source_read(part, buffer.bytes, CHUNK), CHUNK);
    bool same = true;
    for (uint64_t i = 0; i < CHUNK; ++i) {
        uint64_t on_medium = i < 2 * SECTOR ? first_offset + start + i : second_offset + i - 2 * SECTOR;
        same &= buffer.bytes[i] == fake_disc::pattern_byte(on_medium);
    }
    EXPECT_TRUE(same) << "bytes come from both extents, in file order";

    // The end of the part comes up short, in the middle of a sector.
    source_seek(part, uint64_t{first_length} + second_length - 100);
    EXPECT_EQ(source_read(part, buffer.bytes, CHUNK), 100u);
    EXPECT_EQ(buffer.bytes[99], fake_disc::pattern_byte(second_offset + second_length - 1));
    source_seek(part, uint64_t{first_length} + second_length);
    EXPECT_EQ(source_read(part, buffer.bytes, CHUNK), 0u);
    source_close(part);
}

TEST_F(ImageSource, PartRunningPastATruncatedImageDeliversWhatIsThere)
{
    std::vector<FileLayout> files = {{"KORVADIS.IMG;1", random_bytes(4 * CHUNK, 4), {}}};
    IsoImage image = image_of(files);
    const uint64_t part_start = image.contents_at[0];
    for (uint64_t kept : {uint64_t{CHUNK + 3 * SECTOR}, uint64_t{CHUNK + 3 * SECTOR + 700}, uint64_t{0}}) {
        SCOPED_TRACE("part bytes left in the image: " + std::to_string(kept));
        fake_disc::reset();
        fake_disc::put_file("cut.iso", std::vector<unsigned char>(image.bytes.begin(),
                                                                  image.bytes.begin() + part_start + kept));
        SourceFile* part = source_open(native("cut.iso/KORVADIS.IMG").c_str());
        ASSERT_NE(part, nullptr);
        EXPECT_EQ(source_size(part), 4 * CHUNK) << "the size is the one recorded";
        std::vector<unsigned char> data = read_all(part, CHUNK);
        source_close(part);
        EXPECT_TRUE(data == std::vector<unsigned char>(files[0].contents.begin(), files[0].contents.begin() + kept));
    }
}

// A small volume holding files of these names, each with contents of its own.
std::vector<unsigned char> volume(const std::vector<std::string>& names, uint32_t seed)
{
    std::vector<FileLayout> files;
    for (const std::string& name : names)
        files.push_back({name, random_bytes(3000, seed++), {}});
    return image_of(files).bytes;
}

// The part as the volume of volume(names, seed) holds it.
std::vector<unsigned char> contents_in(const std::vector<std::string>& names, uint32_t seed, const std::string& name)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return random_bytes(3000, seed + static_cast<uint32_t>(i));
    return {};
}

TEST_F(ImageSource, ImageFileAsTheSourceIsReadAfreshOnEveryLookup)
{
    const std::string part0 = native("cd.iso/KORVADIS.IMG");
    const std::string part1 = native("cd.iso/KORVADIS.001");
    fake_disc::put_file("cd.iso", volume({"KORVADIS.IMG;1"}, 10));
    EXPECT_TRUE(source_exists(part0.c_str()));
    EXPECT_FALSE(source_exists(part1.c_str())) << "only the image's own root counts";
    EXPECT_EQ(source_open(part1.c_str()), nullptr);

    // The disc is changed: the same name now holds another volume.
    fake_disc::put_file("cd.iso", volume({"KORVADIS.001;1"}, 20));
    EXPECT_FALSE(source_exists(part0.c_str()));
    EXPECT_TRUE(source_exists(part1.c_str()));
    EXPECT_TRUE(read_part("cd.iso", "KORVADIS.001", CHUNK) == contents_in({"KORVADIS.001;1"}, 20, "KORVADIS.001;1"));

    // A file that is no volume, and a volume whose root lies past its end, hold no parts.
    fake_disc::put_file("cd.iso", std::vector<unsigned char>(64 * SECTOR, 'x'));
    EXPECT_FALSE(source_exists(part1.c_str()));
    std::vector<unsigned char> damaged = volume({"KORVADIS.001;1"}, 20);
    damaged.resize(18 * SECTOR);
    fake_disc::put_file("cd.iso", damaged);
    EXPECT_FALSE(source_exists(part1.c_str()));
    EXPECT_EQ(source_open(part1.c_str()), nullptr);
}

TEST_F(ImageSource, DestinationNamingTheImageIsTheSource)
{
    fake_disc::put_directory("disc");
    fake_disc::put_file(native("disc/a.iso"), volume({"KORVADIS.IMG;1"}, 1));
    fake_disc::put_file(native("disc/b.iso"), volume({"KORVADIS.001;1"}, 2));
    SourceFile* part = source_open(native("disc/KORVADIS.IMG").c_str());
    ASSERT_NE(part, nullptr);
    EXPECT_TRUE(dest_is_source(native("disc/a.iso").c_str(), part));
    EXPECT_FALSE(dest_is_source(native("disc/b.iso").c_str(), part));
    EXPECT_FALSE(dest_is_source(native("disc/KORVADIS.IMG").c_str(), part));
    source_close(part);
}

TEST_F(ImageSource, FolderOfImagesSuppliesEachPartFromTheFirstImageHoldingIt)
{
    const std::vector<std::string> first = {"KORVADIS.IMG;1", "KORVADIS.001;1"};
    const std::vector<std::string> second = {"KORVADIS.001;1", "KORVADIS.002;1"};
    const std::vector<std::string> third = {"KORVADIS.003;1"};
    fake_disc::put_directory("disc");
    // Listed in reverse byte order by the fake: the order tried is the code's own.
    fake_disc::put_file(native("disc/disc1.ISO"), volume(first, 100));
    fake_disc::put_file(native("disc/disc2.iso"), volume(second, 200));
    fake_disc::put_file(native("disc/disc3.Iso"), volume(third, 300));
    fake_disc::put_file(native("disc/disc0.iso"), std::vector<unsigned char>(40 * SECTOR, 0));  // no volume
    fake_disc::put_file(native("disc/disc0.isox"), volume({"KORVADIS.002;1"}, 400));           // not an image name
    fake_disc::put_file(native("disc/disc0.txt"), volume({"KORVADIS.002;1"}, 500));
    fake_disc::put_directory(native("disc/disc00.iso"));
    fake_disc::put_file(native("disc/disc00.iso/KORVADIS.002"), {1, 2, 3});
    fake_disc::put_file(native("disc/unrelated.iso"), volume({"README.TXT;1"}, 600));

    EXPECT_TRUE(read_part("disc", "KORVADIS.IMG", CHUNK) == contents_in(first, 100, "KORVADIS.IMG;1"));
    EXPECT_TRUE(read_part("disc", "KORVADIS.001", SECTOR) == contents_in(first, 100, "KORVADIS.001;1"))
        << "disc1.ISO comes before disc2.iso in byte order";
    EXPECT_TRUE(read_part("disc", "KORVADIS.002", CHUNK) == contents_in(second, 200, "KORVADIS.002;1"));
    EXPECT_TRUE(read_part("disc", "KORVADIS.003", CHUNK) == contents_in(third, 300, "KORVADIS.003;1"));
    EXPECT_FALSE(source_exists(native("disc/KORVADIS.004").c_str()));
    EXPECT_EQ(source_open(native("disc/KORVADIS.004").c_str()), nullptr);

    // A file of the part's own name comes before any image.
    fake_disc::put_file(native("disc/KORVADIS.002"), {9, 9, 9});
    EXPECT_TRUE(read_part("disc", "KORVADIS.002", CHUNK) == std::vector<unsigned char>({9, 9, 9}));
    if (!NAMES_IGNORE_CASE) {
        fake_disc::put_file(native("disc/korvadis.003"), {7});
        EXPECT_TRUE(read_part("disc", "KORVADIS.003", CHUNK) == std::vector<unsigned char>({7}))
            << "so does one in another letter case";
    }
}

TEST_F(ImageSource, FolderTriesTheFirst256ImagesInByteOrderWithNamesThatFit)
{
    // The longest image name that fits the path buffer after "disc" and a separator.
    const size_t longest = std::min<size_t>(255, PATH_BUFFER_SIZE - 1 - 5);
    struct Case {
        const char* name;
        size_t holder;       // which of the 300 images holds the part
        size_t name_length;  // of the holder's name: 0 keeps the numbered one
        bool found;
    };
    const Case cases[] = {
        {"in the 256th image", 255, 0, true},
        {"in the 257th image", 256, 0, false},
        {"in an image whose name is as long as fits", 0, longest, true},
        {"in an image whose name is too long", 0, longest + 1, false},
    };
    const std::vector<unsigned char> empty_volume = volume({"README.TXT;1"}, 1);
    const std::vector<unsigned char> holding = volume({"KORVADIS.001;1"}, 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake_disc::reset();
        fake_disc::put_directory("disc");
        for (size_t i = 0; i < 300; ++i) {
            char name[32];
            snprintf(name, sizeof name, "disc%03zu.iso", i + 1);
            std::string file = name;
            if (i == c.holder && c.name_length != 0)
                file = std::string(c.name_length - 4, 'a') + ".iso";
            fake_disc::put_file(native("disc/" + file), i == c.holder ? holding : empty_volume);
        }
        EXPECT_EQ(source_exists(native("disc/KORVADIS.001").c_str()), c.found);
    }
}

} // namespace
