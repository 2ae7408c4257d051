// The real binary on real files: exit codes, standard output byte for byte,
// and every destination part, from a disk and from a tmpfs source.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/e2e/run_tool.h"
#include "tools/image_builder.h"

namespace {

constexpr uint64_t CHUNK = 63488;

const char USAGE[] =
    "spanfetch - copies a disc image spanning one or more CDs and converts it\n\n"
    "usage: spanfetch s: d:\\path\\filename\n"
    "\n"
    "The first parameter s: is the source cd drive letter.\n"
    "d:\\path\\filename is the destination for the copied files.\n";

class Conversion : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        work = make_temp_dir(TEST_SCRATCH_DIR);
        ASSERT_FALSE(work.empty());
        mkdir((work + "/out").c_str(), 0755);
        // The source lives on the file system under test.
        source_root = make_temp_dir(GetParam());
        if (source_root.empty())
            GTEST_SKIP() << "cannot make a directory under " << GetParam();
        symlink(source_root.c_str(), (work + "/disc").c_str());
    }
    void TearDown() override
    {
        remove_tree(work);
        if (!source_root.empty())
            remove_tree(source_root);
    }

    Outcome spanfetch(std::vector<std::string> args)
    {
        args.insert(args.begin(), SPANFETCH_BINARY);
        return run_tool(args, work);
    }

    std::string work;
    std::string source_root;
};

TEST_P(Conversion, CopiesEveryPartAndCutsAtTheMarker)
{
    ImageSet set;
    set.part_sizes = {3 * CHUNK + 1000, 0, 2 * CHUNK + 777};
    set.markers = {{0, 8192}, {2, CHUNK + 14336}};
    ASSERT_TRUE(write_image_set(set, work + "/disc"));

    Outcome run = spanfetch({"disc", "out/disk"});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output,
              "\n\nCopying file disc/KORVADIS.IMG to out/disk.IMG..."
              "\n\nCopying file disc/KORVADIS.001 to out/disk.001..."
              "\n\nCopying file disc/KORVADIS.002 to out/disk.002..."
              "\nCompleted Successfuly\n");
    EXPECT_EQ(run.errors, "");
    auto wanted = expected_parts(set);
    ASSERT_EQ(wanted.size(), 3u);
    for (uint32_t part = 0; part < wanted.size(); ++part)
        EXPECT_TRUE(read_file(work + "/out/" + part_file_name("disk", part)) == wanted[part]) << "part " << part;
    EXPECT_FALSE(file_exists(work + "/out/disk.003"));
}

TEST_P(Conversion, FindsPartsNamedInLowerCase)
{
    ImageSet set;
    set.base_name = "korvadis";
    set.part_sizes = {2 * CHUNK, CHUNK};
    set.markers = {{1, 4096}};
    ASSERT_TRUE(write_image_set(set, work + "/disc"));
    Outcome run = spanfetch({"disc/", "out/disk.img"});
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_NE(run.output.find("Copying file disc/KORVADIS.001 to out/disk.001..."), std::string::npos) << run.output;
    auto wanted = expected_parts(set);
    ASSERT_EQ(wanted.size(), 2u);
    EXPECT_TRUE(read_file(work + "/out/disk.img") == wanted[0]);
    EXPECT_TRUE(read_file(work + "/out/disk.001") == wanted[1]);
    EXPECT_FALSE(file_exists(work + "/out/disk.IMG"));
}

struct EndCase {
    const char* name;
    std::vector<std::string> args;
    const char* signature;
    std::vector<uint64_t> part_sizes;
    int exit_code;
    std::string output;
};

TEST_P(Conversion, EndsWithTheDocumentedCodeAndMessage)
{
    const std::string prompt_part1 = "Please insert disc for file disc/KORVADIS.001 and press enter.\n";
    const EndCase cases[] = {
        {"no arguments", {}, "QRV", {CHUNK}, 1, USAGE},
        {"one argument", {"disc"}, "QRV", {CHUNK}, 1, USAGE},
        {"three arguments", {"disc", "out/disk", "more"}, "QRV", {CHUNK}, 1, USAGE},
        {"bad extension", {"disc", "out/disk.bin"}, "QRV", {CHUNK}, 2, "\nInvalid extension for file out/disk.bin\n"},
        {"already converted", {"disc", "out/disk"}, "IMG", {CHUNK}, 0, "\ndisc/KORVADIS.IMG is already an IMG file.\n"},
        {"foreign signature", {"disc", "out/disk"}, "qrv", {CHUNK}, 9, "\n\nFile signature check failed.\n"},
        {"header sector too short", {"disc", "out/disk"}, "QRV", {2047}, 4,
         "\n\nError reading from file disc/KORVADIS.IMG\n"},
        {"no disc and no console to ask", {"nodisc", "out/disk"}, "QRV", {CHUNK}, 3,
         "\nPlease insert disc for file nodisc/KORVADIS.IMG and press enter.\n\nUnable to open nodisc/KORVADIS.IMG\n"},
        {"marker never found", {"disc", "out/disk"}, "QRV", {2 * CHUNK}, 3,
         "\n\nCopying file disc/KORVADIS.IMG to out/disk.IMG...\n" + prompt_part1 +
             "\nUnable to open disc/KORVADIS.001\n"},
        {"destination directory missing", {"disc", "out/none/disk"}, "QRV", {CHUNK}, 5,
         "\n\nCopying file disc/KORVADIS.IMG to out/none/disk.IMG...\nUnable to open out/none/disk.IMG\n"},
        {"source argument too long", {std::string(5000, 's'), "out/disk"}, "QRV", {CHUNK}, 3,
         "\nUnable to open " + std::string(4095, 's') + "\n"},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        remove_tree(work + "/out");
        mkdir((work + "/out").c_str(), 0755);
        ImageSet set;
        set.signature = c.signature;
        set.part_sizes = c.part_sizes;
        ASSERT_TRUE(write_image_set(set, work + "/disc"));
        Outcome run = spanfetch(c.args);
        EXPECT_EQ(run.exit_code, c.exit_code);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.errors, "");
        if (c.exit_code != 3 || c.args[0] != "disc") {
            EXPECT_FALSE(file_exists(work + "/out/disk.IMG")) << "nothing is written";
        } else {
            EXPECT_TRUE(read_file(work + "/out/disk.IMG") == expected_parts(set)[0]) << "part 0 kept as copied";
        }
    }
}

TEST_P(Conversion, PartThatIsNoFileIsNotOpened)
{
    // A FIFO in the part's place would block the open for ever.
    ASSERT_EQ(mkdir((work + "/odd").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((work + "/odd/KORVADIS.IMG").c_str(), 0644), 0);
    Outcome run = spanfetch({"odd", "out/disk"});
    EXPECT_EQ(run.exit_code, 3);
    EXPECT_EQ(run.output, "\n\nUnable to open odd/KORVADIS.IMG\n");
    EXPECT_FALSE(file_exists(work + "/out/disk.IMG"));
}

TEST_P(Conversion, ExistingDestinationIsKeptWithoutAnAnswer)
{
    ImageSet set;
    set.part_sizes = {2 * CHUNK};
    set.markers = {{0, CHUNK}};
    ASSERT_TRUE(write_image_set(set, work + "/disc"));
    FILE* existing = fopen((work + "/out/disk.IMG").c_str(), "wb");
    fputs("precious", existing);
    fclose(existing);
    Outcome run = spanfetch({"disc", "out/disk"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "Warning: The target image already exists!\nDo you want to overwrite it (Y/N)? \n");
    std::vector<unsigned char> kept = read_file(work + "/out/disk.IMG");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious");
}

INSTANTIATE_TEST_SUITE_P(SourceFileSystems, Conversion, ::testing::Values(TEST_SCRATCH_DIR, "/dev/shm"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "/dev/shm" ? "tmpfs" : "disk";
                         });

} // namespace
