// The built binary with a stand-in drive as its source (a read-only loop
// device with 2048-byte sectors), at the terminal: a disc changed behind the
// device at the prompt (LOOP_CHANGE_FD), and an empty drive that counts as no
// disc, with and without a console. Conversions are compared with the image
// builder's expected parts. Skipped without root, loop devices or xorriso.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tests/e2e/run_tool.h"
#include "tests/e2e/tty_driver.h"
#include "tools/image_builder.h"

namespace {

constexpr uint64_t CHUNK = 63488;

std::string suffix(uint32_t part)
{
    char text[16];
    snprintf(text, sizeof text, "%03u", part);
    return part == 0 ? "IMG" : text;
}

std::string prompt(const std::string& device, uint32_t part)
{
    return "Please insert disc for file " + device + "/KORVADIS." + suffix(part) + " and press enter.\n";
}

std::string copying(const std::string& device, uint32_t part)
{
    return "\nCopying file " + device + "/KORVADIS." + suffix(part) + " to out/disk." + suffix(part) + "...";
}

class Drive : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string reason;
        if (getuid() != 0)
            GTEST_SKIP() << "loop devices need root";
        if (std::string(LOSETUP_BINARY).find("NOTFOUND") != std::string::npos)
            GTEST_SKIP() << "losetup is not installed";
        if (access("/dev/loop-control", F_OK) != 0)
            GTEST_SKIP() << "no /dev/loop-control on this machine";
        if (std::string(XORRISO_BINARY).find("NOTFOUND") != std::string::npos || access(XORRISO_BINARY, X_OK) != 0)
            GTEST_SKIP() << "xorriso is not installed";
        if (!tty_can_watch_reads(reason))
            GTEST_SKIP() << "cannot tell when the tool waits for input: " << reason;
        work = make_temp_dir(TEST_SCRATCH_DIR);
        ASSERT_FALSE(work.empty());
        for (const char* dir : {"/out", "/set"})
            ASSERT_EQ(mkdir((work + dir).c_str(), 0755), 0);
        set.part_sizes = {3 * CHUNK + 1000, 2 * CHUNK + 5000, CHUNK + 777};
        set.markers = {{2, 8192}};
        ASSERT_TRUE(write_image_set(set, work + "/set"));
    }
    void TearDown() override
    {
        if (session.pid > 0)
            tty_finish(session, 1000);
        for (const std::string& device : devices)
            run_tool({LOSETUP_BINARY, "-d", device}, "/");
        if (!work.empty())
            remove_tree(work);
    }

    // An image written by xorriso holding these parts of the set in its root.
    void make_disc(const std::string& iso, const std::vector<uint32_t>& parts)
    {
        std::vector<std::string> args = {XORRISO_BINARY, "-as", "mkisofs", "-quiet", "-o", work + "/" + iso};
        for (uint32_t part : parts)
            args.push_back(work + "/set/" + part_file_name("KORVADIS", part));
        Outcome made = run_tool(args, work);
        ASSERT_EQ(made.exit_code, 0) << made.errors;
    }

    // A read-only loop device with 2048-byte sectors reading file.
    std::string attach(const std::string& file)
    {
        Outcome attached =
            run_tool({LOSETUP_BINARY, "--sector-size", "2048", "-r", "--direct-io=on", "-f", "--show", work + "/" + file}, work);
        std::string device = attached.output.substr(0, attached.output.find('\n'));
        if (attached.exit_code == 0 && !device.empty())
            devices.push_back(device);
        return attached.exit_code == 0 ? device : "";
    }

    // Another disc in the drive: the file behind the device is swapped for
    // one of the same size (the smaller is padded).
    bool change(const std::string& device, const std::string& from, const std::string& to)
    {
        struct stat a, b;
        if (stat((work + "/" + from).c_str(), &a) != 0 || stat((work + "/" + to).c_str(), &b) != 0)
            return false;
        if (a.st_size != b.st_size) {
            if (a.st_size > b.st_size ? truncate((work + "/" + to).c_str(), a.st_size) != 0
                                      : truncate((work + "/" + from).c_str(), b.st_size) != 0 ||
                                            run_tool({LOSETUP_BINARY, "-c", device}, work).exit_code != 0)
                return false;
        }
        return run_tool({LOOP_CHANGE_FD_BINARY, device, work + "/" + to}, work).exit_code == 0;
    }

    void expect_converted()
    {
        std::vector<std::vector<unsigned char>> expected = expected_parts(set);
        for (uint32_t part = 0; part < expected.size(); ++part)
            EXPECT_TRUE(read_file(work + "/out/disk." + suffix(part)) == expected[part]) << "destination part " << part;
        EXPECT_FALSE(file_exists(work + "/out/disk." + suffix(static_cast<uint32_t>(expected.size()))));
    }

    // The prompt is up `times` over and its key read is under way, having taken what was typed last.
    void wait_for_prompt(const std::string& text, int times, int taken = 0)
    {
        ASSERT_TRUE(tty_wait_for_read(session, ReadKind::KEY, taken)) << session.shown;
        // Its line ends only once a key is taken.
        const std::string line = text.substr(0, text.size() - 1);
        int shown = 0;
        for (size_t at = session.shown.find(line); at != std::string::npos; at = session.shown.find(line, at + 1))
            ++shown;
        ASSERT_EQ(shown, times) << session.shown;
    }

    std::string work;
    ImageSet set;
    std::vector<std::string> devices;
    TtyRun session;
};

TEST_F(Drive, DiscChangedInTheDriveAtThePromptIsRead)
{
    make_disc("disc1.iso", {0});
    make_disc("disc2.iso", {1, 2});
    std::string device = attach("disc1.iso");
    ASSERT_FALSE(device.empty());

    ASSERT_TRUE(tty_start(session, {SPANFETCH_BINARY, device, "out/disk"}, work));
    wait_for_prompt(prompt(device, 1), 1);
    // Enter with the same disc in the drive asks again.
    tty_type(session, "\r");
    wait_for_prompt(prompt(device, 1), 2, 1);
    ASSERT_TRUE(change(device, "disc1.iso", "disc2.iso"));
    tty_type(session, "\r");
    EXPECT_EQ(tty_finish(session), 0) << session.shown;
    EXPECT_EQ(session.shown, "\n" + copying(device, 0) + "\n" + prompt(device, 1) + prompt(device, 1) + copying(device, 1) +
                                 "\n" + copying(device, 2) + "\nCompleted Successfuly\n");
    expect_converted();
}

TEST_F(Drive, EmptyDriveHasNoDisc)
{
    make_disc("disc.iso", {0, 1, 2});
    FILE* empty = fopen((work + "/drive").c_str(), "wb");
    ASSERT_NE(empty, nullptr);
    fclose(empty);
    std::string device = attach("drive");
    ASSERT_FALSE(device.empty());

    // Without a console the run ends where it would ask.
    Outcome alone = run_tool({SPANFETCH_BINARY, device, "out/disk"}, work);
    EXPECT_EQ(alone.exit_code, 3);
    EXPECT_EQ(alone.output, "\n" + prompt(device, 0) + "\nUnable to open " + device + "/KORVADIS.IMG\n");

    // At the terminal the disc is put in while it asks.
    ASSERT_TRUE(tty_start(session, {SPANFETCH_BINARY, device, "out/disk"}, work));
    wait_for_prompt(prompt(device, 0), 1);
    // Written into the very file the device reads, whose size it then takes up.
    std::vector<unsigned char> disc = read_file(work + "/disc.iso");
    FILE* drive = fopen((work + "/drive").c_str(), "r+b");
    ASSERT_NE(drive, nullptr);
    ASSERT_EQ(fwrite(disc.data(), 1, disc.size(), drive), disc.size());
    ASSERT_EQ(fclose(drive), 0);
    ASSERT_EQ(run_tool({LOSETUP_BINARY, "-c", device}, work).exit_code, 0);
    tty_type(session, "\r");
    EXPECT_EQ(tty_finish(session), 0) << session.shown;
    EXPECT_EQ(session.shown, "\n" + prompt(device, 0) + copying(device, 0) + "\n" + copying(device, 1) + "\n" +
                                 copying(device, 2) + "\nCompleted Successfuly\n");
    expect_converted();
}

} // namespace
