// The built binary reading parts from ISO9660 images: images written by
// xorriso in each flavour, a folder of images, crafted and damaged images,
// and disc changes at the terminal. Every conversion is compared byte for
// byte with the same set converted from a directory, which itself must be what
// the image builder expects.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "tests/e2e/run_tool.h"
#include "tests/e2e/tty_driver.h"
#include "tests/iso/iso_builder.h"
#include "tools/image_builder.h"

namespace {

constexpr uint64_t CHUNK = 63488;
constexpr uint32_t SECTOR = 2048;

bool have_xorriso()
{
    return std::string(XORRISO_BINARY).find("NOTFOUND") == std::string::npos && access(XORRISO_BINARY, X_OK) == 0;
}

bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

std::string suffix(uint32_t part)
{
    char text[16];
    snprintf(text, sizeof text, "%03u", part);
    return part == 0 ? "IMG" : text;
}

// Standard output of a conversion from source over `parts` parts into out/disk.
std::string converted_output(const std::string& source, uint32_t parts)
{
    std::string text = "\n";
    for (uint32_t part = 0; part < parts; ++part)
        text += std::string(part ? "\n" : "") + "\nCopying file " + source + "/KORVADIS." + suffix(part) +
                " to out/disk." + suffix(part) + "...";
    return text + "\nCompleted Successfuly\n";
}

std::string absent_output(const std::string& source, const std::string& part)
{
    return "\nPlease insert disc for file " + source + "/KORVADIS." + part + " and press enter.\n\nUnable to open " +
           source + "/KORVADIS." + part + "\n";
}

class DiscImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        work = make_temp_dir(TEST_SCRATCH_DIR);
        ASSERT_FALSE(work.empty());
        for (const char* dir : {"/out", "/set", "/ref"})
            ASSERT_EQ(mkdir((work + dir).c_str(), 0755), 0);
    }
    void TearDown() override
    {
        if (session.pid > 0)
            tty_finish(session, 1000);
        remove_tree(work);
    }

    Outcome run(std::vector<std::string> args)
    {
        args.insert(args.begin(), SPANFETCH_BINARY);
        return run_tool(args, work);
    }

    // The set in set/, and its conversion from there into ref/disk.*.
    void write_set(const ImageSet& image_set)
    {
        set = image_set;
        ASSERT_TRUE(write_image_set(set, work + "/set"));
        Outcome reference = run({"set", "ref/disk"});
        ASSERT_EQ(reference.exit_code, 0) << reference.output;
        for (reference_parts = 0; file_exists(work + "/ref/disk." + suffix(reference_parts)); ++reference_parts) {
        }
        std::vector<std::vector<unsigned char>> expected = expected_parts(set);
        ASSERT_EQ(reference_parts, expected.size());
        for (uint32_t part = 0; part < reference_parts; ++part)
            ASSERT_TRUE(read_file(work + "/ref/disk." + suffix(part)) == expected[part]) << "reference part " << part;
    }

    // The usual three parts, the end marker in the last.
    void write_three_parts()
    {
        ImageSet three;
        three.part_sizes = {3 * CHUNK + 1000, 2 * CHUNK + 5000, 2 * CHUNK + 777};
        three.markers = {{0, 8192}, {2, CHUNK + 14336}};
        write_set(three);
    }

    std::vector<unsigned char> set_part(uint32_t part, const std::string& dir = "/set")
    {
        return read_file(work + dir + "/" + part_file_name("KORVADIS", part));
    }

    // An image written by xorriso (options first) of files in work, each
    // placed in its root under its own file name.
    void make_iso(const std::string& iso, const std::vector<std::string>& files,
                  const std::vector<std::string>& options = {})
    {
        std::string stage = work + "/stage";
        remove_tree(stage);
        ASSERT_EQ(mkdir(stage.c_str(), 0755), 0);
        for (const std::string& file : files) {
            std::string name = file.substr(file.rfind('/') + 1);
            ASSERT_EQ(link((work + "/" + file).c_str(), (stage + "/" + name).c_str()), 0) << file;
        }
        std::vector<std::string> args = {XORRISO_BINARY, "-as", "mkisofs", "-quiet"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"-o", work + "/" + iso, stage});
        Outcome made = run_tool(args, work);
        ASSERT_EQ(made.exit_code, 0) << made.errors;
        remove_tree(stage);
    }

    // out/disk.* are the reference conversion, part for part.
    void expect_reference_output()
    {
        for (uint32_t part = 0; part < reference_parts; ++part)
            EXPECT_TRUE(read_file(work + "/out/disk." + suffix(part)) == read_file(work + "/ref/disk." + suffix(part)))
                << "destination part " << part;
        EXPECT_FALSE(file_exists(work + "/out/disk." + suffix(reference_parts)));
    }

    std::string work;
    ImageSet set;
    uint32_t reference_parts = 0;
    TtyRun session;
};

struct Flavour {
    const char* name;
    std::vector<std::string> options;
};

TEST_F(DiscImage, ConvertsFromAnImageOfEachFlavourAsFromTheDirectory)
{
    if (!have_xorriso())
        GTEST_SKIP() << "xorriso is not installed";
    write_three_parts();
    const Flavour flavours[] = {
        {"ISO9660 level 1", {"-iso-level", "1"}},
        {"Joliet", {"-J"}},
        {"Rock Ridge", {"-R"}},
        {"level 3 with Rock Ridge and Joliet", {"-iso-level", "3", "-R", "-J"}},
    };
    for (const Flavour& flavour : flavours) {
        SCOPED_TRACE(flavour.name);
        remove_tree(work + "/out");
        ASSERT_EQ(mkdir((work + "/out").c_str(), 0755), 0);
        make_iso("cd.iso", {"set/KORVADIS.IMG", "set/KORVADIS.001", "set/KORVADIS.002"}, flavour.options);
        if (flavour.options[0] == "-iso-level" && flavour.options[1] == "1") {
            std::vector<unsigned char> iso = read_file(work + "/cd.iso");
            const std::string recorded = "KORVADIS.IMG;1";
            EXPECT_NE(std::search(iso.begin(), iso.end(), recorded.begin(), recorded.end()), iso.end())
                << "level 1 records names with a version";
        }
        Outcome converted = run({"cd.iso", "out/disk"});
        EXPECT_EQ(converted.exit_code, 0);
        EXPECT_EQ(converted.output, converted_output("cd.iso", 3));
        EXPECT_EQ(converted.errors, "");
        expect_reference_output();
    }
}

TEST_F(DiscImage, FolderOfImagesSuppliesEachPartFromTheFirstImageHoldingIt)
{
    if (!have_xorriso())
        GTEST_SKIP() << "xorriso is not installed";
    write_three_parts();
    // Another set's part 1, in an image that sorts after the right one.
    ImageSet other;
    other.seed = 7;
    other.part_sizes = {CHUNK, 2 * CHUNK + 5000};
    ASSERT_EQ(mkdir((work + "/other").c_str(), 0755), 0);
    ASSERT_TRUE(write_image_set(other, work + "/other"));
    ASSERT_TRUE(write_bytes(work + "/README.TXT", {'h', 'i', '\n'}));

    ASSERT_EQ(mkdir((work + "/rips").c_str(), 0755), 0);
    make_iso("rips/disc1.iso", {"set/KORVADIS.IMG"});
    make_iso("rips/disc2.ISO", {"set/KORVADIS.001"});
    make_iso("rips/disc3.iso", {"set/KORVADIS.002"}, {"-J", "-R"});
    make_iso("rips/disc9.iso", {"other/KORVADIS.001"});
    make_iso("rips/unrelated.iso", {"README.TXT"});
    ASSERT_TRUE(write_bytes(work + "/rips/notes.iso", std::vector<unsigned char>(64 * SECTOR, 'n')));
    ASSERT_EQ(mkdir((work + "/rips/more.iso").c_str(), 0755), 0);

    Outcome converted = run({"rips", "out/disk"});
    EXPECT_EQ(converted.exit_code, 0);
    EXPECT_EQ(converted.output, converted_output("rips", 3));
    EXPECT_EQ(converted.errors, "");
    expect_reference_output();
}

TEST_F(DiscImage, FileThatIsNoImageHoldsNoParts)
{
    ASSERT_TRUE(write_bytes(work + "/notes.txt", std::vector<unsigned char>(64 * SECTOR, 'n')));
    Outcome run_on_text = run({"notes.txt", "out/disk"});
    EXPECT_EQ(run_on_text.exit_code, 3);
    EXPECT_EQ(run_on_text.output, absent_output("notes.txt", "IMG"));
    EXPECT_EQ(run_on_text.errors, "");
}

TEST_F(DiscImage, DestinationPartThatIsTheImageBeingReadIsRefused)
{
    if (!have_xorriso())
        GTEST_SKIP() << "xorriso is not installed";
    write_three_parts();
    make_iso("out/disk.001", {"set/KORVADIS.IMG", "set/KORVADIS.001", "set/KORVADIS.002"});
    std::vector<unsigned char> image = read_file(work + "/out/disk.001");
    Outcome refused = run({"out/disk.001", "out/disk"});
    EXPECT_EQ(refused.exit_code, 5);
    EXPECT_EQ(refused.output, "\n\nCopying file out/disk.001/KORVADIS.IMG to out/disk.IMG..."
                              "\n\nCopying file out/disk.001/KORVADIS.001 to out/disk.001..."
                              "\nUnable to open out/disk.001\n");
    EXPECT_TRUE(read_file(work + "/out/disk.001") == image) << "the image is left as it was";
}

// A single-part image, its end marker in its third chunk, laid out by shape
// and then damaged (where damage is given; the image converts without it).
struct DamageCase {
    const char* name;
    std::function<void(IsoLayout&, const std::vector<unsigned char>& part)> shape;
    std::function<void(IsoImage&)> damage;
    int exit_code;
};

IsoRecordLayout record(const std::string& name, std::vector<unsigned char> contents, unsigned char flags = 0)
{
    IsoRecordLayout entry;
    entry.name = name;
    entry.contents = std::move(contents);
    entry.flags = flags;
    return entry;
}

std::vector<unsigned char> slice(const std::vector<unsigned char>& bytes, size_t from, size_t to)
{
    return std::vector<unsigned char>(bytes.begin() + from, bytes.begin() + to);
}

// The part in extents of the given lengths, the last taking the rest.
void in_extents(IsoLayout& layout, const std::vector<unsigned char>& part, std::vector<size_t> lengths)
{
    size_t at = 0;
    for (size_t length : lengths) {
        layout.records.push_back(record("KORVADIS.IMG;1", slice(part, at, at + length), ISO_FLAG_MORE_EXTENTS));
        at += length;
    }
    layout.records.push_back(record("KORVADIS.IMG;1", slice(part, at, part.size())));
}

TEST_F(DiscImage, DamagedImagesEndWithTheirExitCode)
{
    ImageSet one;
    one.part_sizes = {4 * CHUNK};
    one.markers = {{0, 2 * CHUNK + 4096}};
    write_set(one);
    const std::vector<unsigned char> part0 = set_part(0);

    auto plain = [](IsoLayout& layout, const std::vector<unsigned char>& part) {
        layout.records.push_back(record("KORVADIS.IMG;1", part));
    };
    auto filler_first = [](IsoLayout& layout, const std::vector<unsigned char>& part) {
        layout.records.push_back(record("README.TXT;1", {'h', 'i'}));
        layout.records.push_back(record("KORVADIS.IMG;1", part));
    };
    const std::function<void(IsoImage&)> nothing;
    // The part's data up to `kept` bytes, the image cut there.
    auto cut_part_at = [](uint64_t kept) {
        return [kept](IsoImage& image) { image.bytes.resize(image.contents_at.back() + kept); };
    };

    const DamageCase cases[] = {
        {"root directory beyond the image", plain,
         [](IsoImage& image) {
             put_both32(image.bytes, image.pvd + ISO_PVD_ROOT_RECORD + ISO_REC_LBA,
                        static_cast<uint32_t>(image.bytes.size() / SECTOR + 10));
         },
         3},
        {"record shorter than 34 bytes", filler_first, [](IsoImage& image) { image.bytes[image.record_at[0]] = 33; },
         3},
        {"record running past its sector",
         [](IsoLayout& layout, const std::vector<unsigned char>& part) {
             // Seven records of 255 bytes after "." and "..", then a short one near the sector's end.
             for (int i = 0; i < 7; ++i) {
                 layout.records.push_back(record("F" + std::to_string(i) + ".BIN;1", {}));
                 layout.records.back().system_use = 255 - 33 - 8 - 1;
             }
             layout.records.push_back(record("G.BIN;1", {}));
             layout.records.push_back(record("KORVADIS.IMG;1", part));
         },
         [](IsoImage& image) {
             uint64_t at = image.record_at[7] % SECTOR;
             ASSERT_GE(at, SECTOR - 255 + 1u) << "the short record lies near the sector's end";
             image.bytes[image.record_at[7]] = static_cast<unsigned char>(SECTOR - at + 1);
         },
         3},
        {"name running past its record", filler_first,
         [](IsoImage& image) {
             uint64_t at = image.record_at[0];
             image.bytes[at + ISO_REC_NAME_LENGTH] = static_cast<unsigned char>(image.bytes[at] - 33 + 1);
         },
         3},
        {"multi-extent chain meeting another name",
         [](IsoLayout& layout, const std::vector<unsigned char>& part) {
             layout.records.push_back(record("KORVADIS.IMG;1", slice(part, 0, 2 * CHUNK), ISO_FLAG_MORE_EXTENTS));
             layout.records.push_back(record("KORVADIS.IMH;1", slice(part, 2 * CHUNK, part.size())));
         },
         nothing, 3},
        {"multi-extent chain ending with the directory",
         [](IsoLayout& layout, const std::vector<unsigned char>& part) {
             layout.records.push_back(record("KORVADIS.IMG;1", part, ISO_FLAG_MORE_EXTENTS));
         },
         nothing, 3},
        {"no terminator among the descriptors",
         [plain](IsoLayout& layout, const std::vector<unsigned char>& part) {
             plain(layout, part);
             layout.descriptors.assign(40, 2);
             layout.descriptors[0] = 1;
         },
         nothing, 3},
        {"image cut inside its root directory",
         [](IsoLayout& layout, const std::vector<unsigned char>& part) {
             layout.records.push_back(record("README.TXT;1", {'h', 'i'}));
             layout.records.push_back(record("KORVADIS.IMG;1", part));
             layout.records.back().new_sector = true;
         },
         [](IsoImage& image) { image.bytes.resize(image.root + SECTOR + 100); }, 3},
        {"part cut after its end marker", plain, cut_part_at(2 * CHUNK + 8192 + 100), 0},
        {"part cut before its end marker", plain, cut_part_at(2 * CHUNK + 2048), 4},
        {"root directory of two sectors, the first ending in zeros",
         [](IsoLayout& layout, const std::vector<unsigned char>& part) {
             layout.records.push_back(record("README.TXT;1", {'h', 'i'}));
             layout.records.push_back(record("KORVADIS.IMG;1", part));
             layout.records.back().new_sector = true;
         },
         nothing, 0},
        {"part in three extents",
         [](IsoLayout& layout, const std::vector<unsigned char>& part) {
             in_extents(layout, part, {CHUNK + 3 * SECTOR, CHUNK});
         },
         nothing, 0},
        {"part in extents that end inside a sector",
         [](IsoLayout& layout, const std::vector<unsigned char>& part) { in_extents(layout, part, {CHUNK + 1000, 5001}); },
         nothing, 0},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        remove_tree(work + "/out");
        ASSERT_EQ(mkdir((work + "/out").c_str(), 0755), 0);
        IsoLayout layout;
        c.shape(layout, part0);
        IsoImage image = build_iso(layout);
        if (c.damage) {
            ASSERT_TRUE(write_bytes(work + "/cd.iso", image.bytes));
            ASSERT_EQ(run({"cd.iso", "out/disk"}).exit_code, 0) << "converts before the damage";
            remove_tree(work + "/out");
            ASSERT_EQ(mkdir((work + "/out").c_str(), 0755), 0);
            c.damage(image);
        }
        ASSERT_TRUE(write_bytes(work + "/cd.iso", image.bytes));

        Outcome converted = run({"cd.iso", "out/disk"});
        EXPECT_EQ(converted.exit_code, c.exit_code);
        EXPECT_EQ(converted.errors, "") << "no fault";
        const std::string copying = "\n\nCopying file cd.iso/KORVADIS.IMG to out/disk.IMG...";
        switch (c.exit_code) {
        case 0:
            EXPECT_EQ(converted.output, converted_output("cd.iso", 1));
            expect_reference_output();
            break;
        case 3:
            EXPECT_EQ(converted.output, absent_output("cd.iso", "IMG"));
            EXPECT_FALSE(file_exists(work + "/out/disk.IMG"));
            break;
        default:
            EXPECT_EQ(converted.output, copying + "\nError reading from file cd.iso/KORVADIS.IMG\n");
            EXPECT_TRUE(read_file(work + "/out/disk.IMG") == slice(part0, 0, 2 * CHUNK)) << "the chunks read are kept";
            break;
        }
    }
}

// The disc prompt for part 1 is up (times over) and its key read is under way,
// having taken what was typed last.
void wait_for_prompt(TtyRun& session, const std::string& source, int times = 1, int taken = 0)
{
    ASSERT_TRUE(tty_wait_for_read(session, ReadKind::KEY, taken)) << session.shown;
    std::string prompt = "Please insert disc for file " + source + "/KORVADIS.001 and press enter.";
    size_t shown = 0;
    for (size_t at = session.shown.find(prompt); at != std::string::npos; at = session.shown.find(prompt, at + 1))
        ++shown;
    ASSERT_EQ(shown, static_cast<size_t>(times)) << session.shown;
}

TEST_F(DiscImage, ImageAddedToTheFolderDuringTheDiscWaitIsUsed)
{
    if (!have_xorriso())
        GTEST_SKIP() << "xorriso is not installed";
    write_three_parts();
    ASSERT_EQ(mkdir((work + "/rips").c_str(), 0755), 0);
    make_iso("rips/disc1.iso", {"set/KORVADIS.IMG"});
    make_iso("rips/disc3.iso", {"set/KORVADIS.002"});
    make_iso("disc2.iso", {"set/KORVADIS.001"});

    ASSERT_TRUE(tty_start(session, {SPANFETCH_BINARY, "rips", "out/disk"}, work));
    wait_for_prompt(session, "rips");
    ASSERT_EQ(rename((work + "/disc2.iso").c_str(), (work + "/rips/disc2.iso").c_str()), 0);
    tty_type(session, "\r");
    EXPECT_EQ(tty_finish(session), 0) << session.shown;
    EXPECT_EQ(session.shown, "\n\nCopying file rips/KORVADIS.IMG to out/disk.IMG...\n"
                                   "Please insert disc for file rips/KORVADIS.001 and press enter.\n"
                                   "\nCopying file rips/KORVADIS.001 to out/disk.001...\n"
                                   "\nCopying file rips/KORVADIS.002 to out/disk.002...\nCompleted Successfuly\n");
    expect_reference_output();
}

TEST_F(DiscImage, ImageFileReplacedDuringTheDiscWaitIsReadAfresh)
{
    if (!have_xorriso())
        GTEST_SKIP() << "xorriso is not installed";
    write_three_parts();
    make_iso("disc1.iso", {"set/KORVADIS.IMG"});
    make_iso("disc2.iso", {"set/KORVADIS.001", "set/KORVADIS.002"}, {"-J"});
    ASSERT_EQ(symlink("disc1.iso", (work + "/cd.iso").c_str()), 0);

    ASSERT_TRUE(tty_start(session, {SPANFETCH_BINARY, "cd.iso", "out/disk"}, work));
    wait_for_prompt(session, "cd.iso");
    // Enter with the same image asks again.
    tty_type(session, "\r");
    wait_for_prompt(session, "cd.iso", 2, 1);
    ASSERT_EQ(symlink("disc2.iso", (work + "/cd.new").c_str()), 0);
    ASSERT_EQ(rename((work + "/cd.new").c_str(), (work + "/cd.iso").c_str()), 0);
    tty_type(session, "\r");
    EXPECT_EQ(tty_finish(session), 0) << session.shown;
    EXPECT_EQ(session.shown, "\n\nCopying file cd.iso/KORVADIS.IMG to out/disk.IMG...\n"
                                   "Please insert disc for file cd.iso/KORVADIS.001 and press enter.\n"
                                   "Please insert disc for file cd.iso/KORVADIS.001 and press enter.\n"
                                   "\nCopying file cd.iso/KORVADIS.001 to out/disk.001...\n"
                                   "\nCopying file cd.iso/KORVADIS.002 to out/disk.002...\nCompleted Successfuly\n");
    expect_reference_output();
}

} // namespace
