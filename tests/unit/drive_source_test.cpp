// The source layer over disc devices on the fake file primitive: a device as
// the source (its last session, its drive asked before it is opened, a disc
// change, no disc, no permission) and a directory that is a drive's mount
// point (read from the device wherever the next disc is mounted, the
// directory where the device holds no ISO9660 volume or cannot be opened).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/path_rules.h"
#include "platform/source_file.h"
#include "tests/fake/fake_disc_file.h"
#include "tests/iso/iso_builder.h"
#include "tests/native_path.h"

namespace {

constexpr uint32_t SECTOR = 2048;
constexpr uint32_t CHUNK = 31 * SECTOR;

// Contents of its own for every file name and disc.
std::vector<unsigned char> contents(const std::string& name, uint32_t disc)
{
    std::vector<unsigned char> bytes(CHUNK + 3000);
    uint32_t state = disc * 2654435761u;
    for (char c : name)
        state = state * 31 + static_cast<unsigned char>(c);
    for (unsigned char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}

// A disc whose session starting at session_block holds these parts.
IsoImage disc_of(const std::vector<std::string>& parts, uint32_t disc, uint32_t session_block = 0)
{
    IsoLayout layout;
    layout.session_block = session_block;
    for (const std::string& part : parts) {
        IsoRecordLayout record;
        record.name = part + ";1";
        record.contents = contents(part, disc);
        layout.records.push_back(record);
    }
    return build_iso(layout);
}

// Reads the part whole in chunks, as the copy does; empty when it does not open.
std::vector<unsigned char> read_part(const std::string& path)
{
    SourceFile* part = source_open(native(path).c_str());
    if (part == nullptr)
        return {};
    std::vector<unsigned char> data;
    unsigned char* buffer = new (std::align_val_t{4096}) unsigned char[CHUNK];
    for (uint32_t got = CHUNK; got == CHUNK;) {
        got = source_read(part, buffer, CHUNK);
        data.insert(data.end(), buffer, buffer + got);
    }
    operator delete[](buffer, std::align_val_t{4096});
    source_close(part);
    return data;
}

bool exists(const std::string& path)
{
    return source_exists(native(path).c_str());
}

bool opened(const std::string& path)
{
    return std::count(fake_disc::opens.begin(), fake_disc::opens.end(), native(path)) != 0;
}

class DriveSource : public ::testing::Test {
protected:
    void SetUp() override { fake_disc::reset(); }
    void TearDown() override { EXPECT_EQ(fake_disc::open_files(), 0) << "every file opened is closed"; }
};

TEST_F(DriveSource, DeviceIsReadFromItsLastSessionAfreshOnEveryLookup)
{
    const std::string drive = native("dev/sr0");
    // Two sessions: the first holds part 0, the last parts 1 and 2 (and part 0
    // again, of other contents, as a disc rewritten in a later session).
    IsoImage first = disc_of({"KORVADIS.IMG", "KORVADIS.001"}, 1);
    const uint32_t session_block = static_cast<uint32_t>(first.bytes.size() / SECTOR) + 20;
    IsoImage last = disc_of({"KORVADIS.001", "KORVADIS.002"}, 2, session_block);
    std::copy(first.bytes.begin(), first.bytes.end(), last.bytes.begin());
    fake_disc::put_device(drive, last.bytes);
    fake_disc::entries[drive].session = uint64_t{session_block} * SECTOR;

    EXPECT_FALSE(exists("dev/sr0/KORVADIS.IMG")) << "only the last session counts";
    EXPECT_TRUE(read_part("dev/sr0/KORVADIS.001") == contents("KORVADIS.001", 2));
    EXPECT_TRUE(read_part("dev/sr0/KORVADIS.002") == contents("KORVADIS.002", 2));
    for (const fake_disc::Read& read : fake_disc::reads)
        EXPECT_GE(read.position, uint64_t{session_block} * SECTOR) << "nothing of the first session is read";

    // The disc is changed: nothing of the one before is kept.
    fake_disc::put_device(drive, disc_of({"KORVADIS.003"}, 3).bytes);
    EXPECT_FALSE(exists("dev/sr0/KORVADIS.001"));
    EXPECT_TRUE(read_part("dev/sr0/KORVADIS.003") == contents("KORVADIS.003", 3));

    // A disc without an ISO9660 volume holds no parts.
    fake_disc::put_device(drive, std::vector<unsigned char>(40 * SECTOR, 0));
    EXPECT_FALSE(exists("dev/sr0/KORVADIS.003"));
}

TEST_F(DriveSource, DriveIsAskedBeforeItIsOpenedAndOneThatMayNotBeOpenedHoldsTheParts)
{
    const std::string drive = native("dev/sr0");
    fake_disc::put_device(drive, disc_of({"KORVADIS.IMG"}, 1).bytes);

    // No disc (or the tray open): absent, and the device is never opened.
    fake_disc::entries[drive].medium = false;
    EXPECT_FALSE(exists("dev/sr0/KORVADIS.IMG"));
    EXPECT_EQ(source_open(native("dev/sr0/KORVADIS.IMG").c_str()), nullptr);
    EXPECT_EQ(fake_disc::medium_checks, std::vector<std::string>(2, drive));
    EXPECT_FALSE(opened("dev/sr0")) << "a drive without a disc is only asked";

    // A disc the user may not read counts as there: opening the part fails
    // at once rather than asking for a disc that is in the drive.
    fake_disc::entries[drive].medium = true;
    fake_disc::entries[drive].openable = false;
    EXPECT_TRUE(exists("dev/sr0/KORVADIS.IMG"));
    EXPECT_EQ(source_open(native("dev/sr0/KORVADIS.IMG").c_str()), nullptr);

    // A device that is gone holds nothing.
    fake_disc::entries.erase(drive);
    EXPECT_FALSE(exists("dev/sr0/KORVADIS.IMG"));
}

TEST_F(DriveSource, MountPointIsReadFromItsDeviceWhereverTheNextDiscIsMounted)
{
    const std::string drive = native("dev/sr0");
    // The desktop mounted disc 1 under its label; the directory shows part 0
    // as a file of other contents, which the device takes precedence over.
    fake_disc::put_directory(native("media/DISC1"));
    fake_disc::put_file(native("media/DISC1/KORVADIS.IMG"), {1, 2, 3});
    fake_disc::mounts[native("media/DISC1")] = drive;
    fake_disc::put_device(drive, disc_of({"KORVADIS.IMG"}, 1).bytes);
    EXPECT_TRUE(read_part("media/DISC1/KORVADIS.IMG") == contents("KORVADIS.IMG", 1));
    EXPECT_FALSE(opened("media/DISC1/KORVADIS.IMG"));

    // Disc 1 is taken out: its mount point goes, and the drive is empty.
    fake_disc::entries.erase(native("media/DISC1/KORVADIS.IMG"));
    fake_disc::entries.erase(native("media/DISC1"));
    fake_disc::put_device(drive, {});
    EXPECT_FALSE(exists("media/DISC1/KORVADIS.001"));

    // Disc 2 goes in and is mounted elsewhere; the part is still found.
    fake_disc::put_directory(native("media/DISC2"));
    fake_disc::put_device(drive, disc_of({"KORVADIS.001"}, 2).bytes);
    EXPECT_TRUE(read_part("media/DISC1/KORVADIS.001") == contents("KORVADIS.001", 2));

    // A disc of another volume that lacks the part: asked for, not looked up in the directory.
    fake_disc::put_directory(native("media/DISC1"));
    fake_disc::put_file(native("media/DISC1/KORVADIS.002"), {4});
    fake_disc::put_device(drive, disc_of({"README.TXT"}, 4).bytes);
    EXPECT_FALSE(exists("media/DISC1/KORVADIS.002"));
}

TEST_F(DriveSource, MountPointIsReadAsADirectoryWhereItsDeviceCannotServe)
{
    const std::string drive = native("dev/sr0");
    struct Case {
        const char* name;
        std::vector<unsigned char> device;
        bool openable;
    };
    const Case cases[] = {
        {"a disc without an ISO9660 volume", std::vector<unsigned char>(40 * SECTOR, 0), true},
        {"a device that cannot be opened", disc_of({"KORVADIS.IMG"}, 1).bytes, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake_disc::reset();
        fake_disc::put_directory(native("media/DISC1"));
        fake_disc::put_file(native("media/DISC1/KORVADIS.IMG"), {1, 2, 3});
        fake_disc::mounts[native("media/DISC1")] = drive;
        fake_disc::put_device(drive, c.device);
        fake_disc::entries[drive].openable = c.openable;
        EXPECT_TRUE(read_part("media/DISC1/KORVADIS.IMG") == std::vector<unsigned char>({1, 2, 3}));
        EXPECT_FALSE(exists("media/DISC1/KORVADIS.001"));
    }
}

} // namespace
