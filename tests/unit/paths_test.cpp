// Composing the part 0 names from the arguments, with POSIX separators.
#include <gtest/gtest.h>

#include <string>

#include "front/driver.h"
#include "front/paths.h"
#include "front/status.h"

namespace {

TEST(SourcePath, GetsOneSeparatorAndThePartName)
{
    struct Case { const char* argument; const char* path; } cases[] = {
        {"/media/cdrom", "/media/cdrom/KORVADIS.IMG"},
        {"/media/cdrom/", "/media/cdrom/KORVADIS.IMG"},
        {"", "/KORVADIS.IMG"},
        {"disc", "disc/KORVADIS.IMG"},
        {"E:\\", "E:\\/KORVADIS.IMG"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compose_source_path(c.argument), STATUS_OK) << c.argument;
        EXPECT_STREQ(source_path, c.path);
    }
}

TEST(DestPath, KeepsAnImgExtensionAddsOneWhenMissingRefusesOthers)
{
    struct Case { const char* argument; int status; const char* path; } cases[] = {
        {"out/disk", STATUS_OK, "out/disk.IMG"},
        {"out/disk.img", STATUS_OK, "out/disk.img"},
        {"out/disk.Img", STATUS_OK, "out/disk.Img"},
        {"out/my.dir/disk", STATUS_OK, "out/my.dir/disk.IMG"},
        {"out/disk.bin", STATUS_BAD_EXTENSION, "out/disk.bin"},
        {"out/disk.imgx", STATUS_BAD_EXTENSION, "out/disk.imgx"},
        {"out/disk.", STATUS_BAD_EXTENSION, "out/disk."},
        {"out\\my.dir\\disk", STATUS_BAD_EXTENSION, "out\\my.dir\\disk"},
        {".img", STATUS_OK, ".img"},
        {".bin", STATUS_BAD_EXTENSION, ".bin"},
        {"disk", STATUS_OK, "disk.IMG"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compose_dest_path(c.argument), c.status) << c.argument;
        EXPECT_STREQ(dest_path, c.path);
    }
}

TEST(Paths, ArgumentsTooLongForTheirComposedNameAreRefused)
{
    // The longest arguments that still fit, and one character more.
    std::string source(PATH_BUFFER_SIZE - 1 - 13, 'a');
    EXPECT_EQ(compose_source_path(source.c_str()), STATUS_OK);
    source += 'a';
    EXPECT_EQ(compose_source_path(source.c_str()), STATUS_SOURCE_OPEN);
    EXPECT_EQ(std::string(source_path), source);

    std::string dest(PATH_BUFFER_SIZE - 1 - 4, 'd');
    EXPECT_EQ(compose_dest_path(dest.c_str()), STATUS_OK);
    dest += 'd';
    EXPECT_EQ(compose_dest_path(dest.c_str()), STATUS_DEST_OPEN);

    std::string huge(PATH_BUFFER_SIZE * 2, 'h');
    EXPECT_EQ(compose_dest_path((huge + ".img").c_str()), STATUS_DEST_OPEN);
    EXPECT_EQ(std::string(dest_path), huge.substr(0, PATH_BUFFER_SIZE - 1)) << "cut to fit, still terminated";
}

} // namespace
