// The disc device mounted at a directory, looked up in mount table text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/optical_drive.h"

namespace {

using namespace std::string_literals;

const std::string SYSTEM_LINES =
    "21 27 0:20 / /proc rw,relatime - proc proc rw\n"
    "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "40 27 0:38 / /media rw,relatime shared:5 - tmpfs tmpfs rw\n";

struct Case {
    const char* name;
    std::string table;
    const char* directory;
    const char* device;  // nullptr: no disc device there
    uint32_t major;
    uint32_t minor;
};

// The text is handed over in a block of exactly its length, without a
// terminating NUL, so a read past the end shows under the sanitizers.
bool look_up(const std::string& table, const char* directory, MountedDevice& found)
{
    std::vector<char> text(table.begin(), table.end());
    return find_mounted_device(text.data(), text.size(), directory, found);
}

TEST(MountLookup, FindsTheDiscDeviceMountedExactlyAtTheDirectory)
{
    const std::string cdrom = "60 40 11:0 / /media/cdrom ro,nosuid,nodev,relatime shared:7 - iso9660 /dev/sr0 ro,norock\n";
    const std::string long_name(PATH_BUFFER_SIZE + 100, 'x');
    const std::string long_path = "/" + long_name;
    const Case cases[] = {
        {"plain mount", SYSTEM_LINES + cdrom, "/media/cdrom", "/dev/sr0", 11, 0},
        {"trailing slashes", SYSTEM_LINES + cdrom, "/media/cdrom//", "/dev/sr0", 11, 0},
        {"udf", "61 40 11:1 / /media/dvd ro - udf /dev/sr1 ro\n", "/media/dvd", "/dev/sr1", 11, 1},
        {"last line without a line end", SYSTEM_LINES + cdrom.substr(0, cdrom.size() - 1), "/media/cdrom", "/dev/sr0", 11, 0},
        {"no optional fields", "60 40 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n", "/media/cdrom", "/dev/sr0", 11, 0},
        {"many optional fields", "60 40 11:0 / /media/cdrom ro shared:7 master:2 propagate_from:3 unbindable - iso9660 /dev/sr0 ro\n",
         "/media/cdrom", "/dev/sr0", 11, 0},
        {"other mount point", SYSTEM_LINES + cdrom, "/media/cdrom2", nullptr, 0, 0},
        {"mount point is a prefix of the directory", SYSTEM_LINES + cdrom, "/media/cdrom/sub", nullptr, 0, 0},
        {"directory is a prefix of the mount point", SYSTEM_LINES + cdrom, "/media/cd", nullptr, 0, 0},
        {"parent of the mount point", SYSTEM_LINES + cdrom, "/media", nullptr, 0, 0},
        {"relative directory", cdrom, "media/cdrom", nullptr, 0, 0},
        {"empty directory", cdrom, "", nullptr, 0, 0},

        {"escaped space in the mount point", "62 40 11:0 / /media/user/MY\\040DISC ro - iso9660 /dev/sr0 ro\n",
         "/media/user/MY DISC", "/dev/sr0", 11, 0},
        {"escaped spelling is not the name", "62 40 11:0 / /media/user/MY\\040DISC ro - iso9660 /dev/sr0 ro\n",
         "/media/user/MY\\040DISC", nullptr, 0, 0},
        {"escaped tab, newline and backslash", "63 40 11:0 / /mnt/a\\011b\\012c\\134d ro - iso9660 /dev/sr0 ro\n",
         "/mnt/a\tb\nc\\d", "/dev/sr0", 11, 0},
        {"escaped source", "64 40 11:0 / /mnt/disc ro - iso9660 /dev/disk/by-label/MY\\040DISC ro\n", "/mnt/disc",
         "/dev/disk/by-label/MY DISC", 11, 0},
        {"escape decoding to NUL", "65 40 11:0 / /mnt/a\\000b ro - iso9660 /dev/sr0 ro\n", "/mnt/a", nullptr, 0, 0},
        {"escape cut short by the end of the text", "66 40 11:0 / /mnt/disc ro - iso9660 /dev/sr0\\04", "/mnt/disc",
         "/dev/sr0\\04", 11, 0},

        {"bind mount of a subdirectory", "67 40 11:0 /data /mnt/disc ro - iso9660 /dev/sr0 ro\n", "/mnt/disc", nullptr, 0, 0},
        {"tmpfs", "68 40 0:50 / /mnt/disc rw - tmpfs tmpfs rw\n", "/mnt/disc", nullptr, 0, 0},
        {"fuse image mount", "69 40 0:51 / /mnt/disc ro - fuse.fuseiso fuseiso ro\n", "/mnt/disc", nullptr, 0, 0},
        {"iso9660 from a file path", "70 40 7:0 / /mnt/disc ro - iso9660 /home/me/disc.iso ro\n", "/mnt/disc", nullptr, 0, 0},
        {"source /dev alone", "71 40 11:0 / /mnt/disc ro - iso9660 /dev/ ro\n", "/mnt/disc", nullptr, 0, 0},
        {"hard disk file system", "72 40 8:17 / /mnt/disc rw - ext4 /dev/sdb1 rw\n", "/mnt/disc", nullptr, 0, 0},
        {"memory stick", "73 40 8:33 / /mnt/disc rw - vfat /dev/sdc1 rw\n", "/mnt/disc", nullptr, 0, 0},

        {"disc mounted over tmpfs", "74 40 0:52 / /mnt/disc rw - tmpfs tmpfs rw\n75 74 11:0 / /mnt/disc ro - iso9660 /dev/sr0 ro\n",
         "/mnt/disc", "/dev/sr0", 11, 0},
        {"tmpfs mounted over the disc", "75 40 11:0 / /mnt/disc ro - iso9660 /dev/sr0 ro\n76 75 0:53 / /mnt/disc rw - tmpfs tmpfs rw\n",
         "/mnt/disc", nullptr, 0, 0},
        {"second drive mounted over the first", "75 40 11:0 / /mnt/disc ro - iso9660 /dev/sr0 ro\n77 75 11:1 / /mnt/disc ro - udf /dev/sr1 ro\n",
         "/mnt/disc", "/dev/sr1", 11, 1},
        {"bind mount over the disc", "75 40 11:0 / /mnt/disc ro - iso9660 /dev/sr0 ro\n78 75 11:0 /sub /mnt/disc ro - iso9660 /dev/sr0 ro\n",
         "/mnt/disc", nullptr, 0, 0},

        {"long garbage line before it", std::string(100000, 'g') + "\n" + cdrom, "/media/cdrom", "/dev/sr0", 11, 0},
        {"NUL bytes and stray separators", "\0\0 - - \n \n\n- iso9660 /dev/sr9\n"s + cdrom, "/media/cdrom",
         "/dev/sr0", 11, 0},
        {"mount point longer than any path", "79 40 11:0 / /" + long_name + " ro - iso9660 /dev/sr0 ro\n",
         long_path.c_str(), nullptr, 0, 0},
        {"source longer than any path", "80 40 11:0 / /mnt/disc ro - iso9660 /dev/" + long_name + " ro\n", "/mnt/disc", nullptr, 0, 0},
        {"no separator", "81 40 11:0 / /mnt/disc ro shared:1 iso9660 /dev/sr0 ro\n", "/mnt/disc", nullptr, 0, 0},
        {"line ends after the type", "82 40 11:0 / /mnt/disc ro - iso9660", "/mnt/disc", nullptr, 0, 0},
        {"line ends in the mount point", "83 40 11:0 / /mnt/disc", "/mnt/disc", nullptr, 0, 0},
        {"device number too large", "84 40 4294967296:0 / /mnt/disc ro - iso9660 /dev/sr0 ro\n", "/mnt/disc", nullptr, 0, 0},
        {"device number malformed", "85 40 11-0 / /mnt/disc ro - iso9660 /dev/sr0 ro\n", "/mnt/disc", nullptr, 0, 0},
        {"empty table", "", "/media/cdrom", nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MountedDevice found = {};
        bool counts = look_up(c.table, c.directory, found);
        ASSERT_EQ(counts, c.device != nullptr);
        if (counts) {
            EXPECT_STREQ(found.path, c.device);
            EXPECT_EQ(found.major, c.major);
            EXPECT_EQ(found.minor, c.minor);
        }
    }
}

// The root directory: "/" itself must not be shortened away.
TEST(MountLookup, RootDirectory)
{
    MountedDevice found = {};
    EXPECT_TRUE(look_up("1 0 11:0 / / ro - iso9660 /dev/sr0 ro\n", "/", found));
    EXPECT_TRUE(look_up("1 0 11:0 / / ro - iso9660 /dev/sr0 ro\n", "//", found));
    EXPECT_FALSE(look_up("1 0 11:0 / /mnt ro - iso9660 /dev/sr0 ro\n", "/", found));
}

// Only the given length is read: a valid line beyond it is not seen.
TEST(MountLookup, ReadsOnlyTheGivenLength)
{
    const std::string table = SYSTEM_LINES + "60 40 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n";
    MountedDevice found = {};
    EXPECT_FALSE(find_mounted_device(table.data(), SYSTEM_LINES.size(), "/media/cdrom", found));
    EXPECT_TRUE(find_mounted_device(table.data(), table.size(), "/media/cdrom", found));
}

} // namespace
