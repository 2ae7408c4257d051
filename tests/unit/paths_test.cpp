// Composing the part 0 names from the arguments, by the platform's path rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "front/driver.h"
#include "front/paths.h"
#include "front/status.h"

namespace {

struct SourceCase {
    const char* argument;
    const char* path;
};

const std::vector<SourceCase> POSIX_SOURCES = {
    {"/media/cdrom", "/media/cdrom/KORVADIS.IMG"},
    {"/media/cdrom/", "/media/cdrom/KORVADIS.IMG"},
    {"", "/KORVADIS.IMG"},
    {"disc", "disc/KORVADIS.IMG"},
    {"E:\\", "E:\\/KORVADIS.IMG"},
};

const std::vector<SourceCase> WINDOWS_SOURCES = {
    {"E:", "E:\\KORVADIS.IMG"},
    {"E:\\", "E:\\KORVADIS.IMG"},
    {"", "\\KORVADIS.IMG"},
    {"C:\\discs\\one", "C:\\discs\\one\\KORVADIS.IMG"},
    {"C:/discs", "C:/discs\\KORVADIS.IMG"},
};

struct DestCase {
    const char* argument;
    int status;
    const char* path;
};

const std::vector<DestCase> POSIX_DESTS = {
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

const std::vector<DestCase> WINDOWS_DESTS = {
    {"D:\\save\\disk", STATUS_OK, "D:\\save\\disk.IMG"},
    {"D:\\save\\disk.img", STATUS_OK, "D:\\save\\disk.img"},
    {"D:\\save\\disk.bin", STATUS_BAD_EXTENSION, "D:\\save\\disk.bin"},
    {"D:\\my.dir\\disk", STATUS_OK, "D:\\my.dir\\disk.IMG"},
    {"D:/my.dir/disk", STATUS_BAD_EXTENSION, "D:/my.dir/disk"},
    {"D:disk", STATUS_OK, "D:disk.IMG"},
    {".img", STATUS_OK, ".img"},
    {".bin", STATUS_BAD_EXTENSION, ".bin"},
};

TEST(SourcePath, GetsOneSeparatorAndThePartName)
{
    for (const SourceCase& c : PATH_SEPARATOR == '/' ? POSIX_SOURCES : WINDOWS_SOURCES) {
        EXPECT_EQ(compose_source_path(c.argument), STATUS_OK) << c.argument;
        EXPECT_STREQ(source_path, c.path);
    }
}

TEST(DestPath, KeepsAnImgExtensionAddsOneWhenMissingRefusesOthers)
{
    for (const DestCase& c : PATH_SEPARATOR == '/' ? POSIX_DESTS : WINDOWS_DESTS) {
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
