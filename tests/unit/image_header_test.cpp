// Header signature, end-marker test, header read and the final rewrite.
#include <gtest/gtest.h>

#include <cstring>

#include "front/status.h"
#include "platform/source_file.h"
#include "tests/fake/fake_platform.h"
#include "transfer/image_header.h"

namespace {

ImageHeader header_from(const char* signature)
{
    ImageHeader header;
    for (uint32_t i = 0; i < HEADER_SIZE; ++i)
        header.bytes[i] = static_cast<unsigned char>(i * 7 + 1);
    memcpy(header.bytes, signature, SIGNATURE_SIZE);
    return header;
}

TEST(Signature, IsClassifiedByItsThreeBytesWithCase)
{
    struct Case { const char* signature; Signature kind; } cases[] = {
        {"QRV", SIGNATURE_QRV}, {"IMG", SIGNATURE_IMG}, {"qrv", SIGNATURE_OTHER},
        {"img", SIGNATURE_OTHER}, {"QRW", SIGNATURE_OTHER}, {"\0\0\0", SIGNATURE_OTHER},
    };
    for (const Case& c : cases)
        EXPECT_EQ(classify_signature(header_from(c.signature)), c.kind) << c.signature;
}

TEST(EndMarker, MatchesOnTheIdentityBytesAlone)
{
    ImageHeader header = header_from("QRV");
    unsigned char sector[SECTOR_SIZE];
    memcpy(sector, header.bytes, HEADER_SIZE);
    EXPECT_TRUE(is_end_marker(sector, header));

    // Every carried byte may differ.
    unsigned char carried[SECTOR_SIZE];
    memset(carried, 0xEE, sizeof carried);
    const uint32_t identity[][2] = {{0, 10}, {18, 9}, {36, 12}, {50, 2}};
    for (const auto& range : identity)
        memcpy(carried + range[0], header.bytes + range[0], range[1]);
    EXPECT_TRUE(is_end_marker(carried, header));

    // Any one identity byte differing spoils it.
    for (const auto& range : identity)
        for (uint32_t i = range[0]; i < range[0] + range[1]; ++i) {
            unsigned char changed[SECTOR_SIZE];
            memcpy(changed, carried, sizeof changed);
            changed[i] ^= 0x01;
            EXPECT_FALSE(is_end_marker(changed, header)) << "byte " << i;
        }
}

class HeaderFiles : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
    unsigned char buffer[SECTOR_SIZE * 2];
};

TEST_F(HeaderFiles, ReadHeaderKeepsFirstBytesAndRewinds)
{
    std::vector<unsigned char> data(5000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i % 251);
    fake::files["p0"].data = data;
    SourceFile* source = source_open("p0");
    ImageHeader header;
    ASSERT_EQ(read_header(source, buffer, header), STATUS_OK);
    EXPECT_EQ(0, memcmp(header.bytes, data.data(), HEADER_SIZE));
    // The next read starts over at the header sector.
    ASSERT_EQ(source_read(source, buffer, 16), 16u);
    EXPECT_EQ(0, memcmp(buffer, data.data(), 16));
    source_close(source);
}

TEST_F(HeaderFiles, ReadHeaderFailsOnLessThanASector)
{
    fake::files["short"].data.assign(SECTOR_SIZE - 1, 'Q');
    fake::files["bad"].data.assign(SECTOR_SIZE * 4, 'Q');
    fake::files["bad"].bad_sectors[0] = -1;
    for (const char* name : {"short", "bad"}) {
        SourceFile* source = source_open(name);
        ImageHeader header;
        EXPECT_EQ(read_header(source, buffer, header), STATUS_SOURCE_READ) << name;
        source_close(source);
    }
}

TEST_F(HeaderFiles, FinaliseRewritesOnlyTheHeaderWithItsNewSignature)
{
    std::vector<unsigned char> before(3000, 0x5A);
    fake::files["out/disk.IMG"].data = before;
    ImageHeader header = header_from("QRV");
    ASSERT_EQ(finalise_image("out/disk.IMG", header), STATUS_OK);

    std::vector<unsigned char> after = fake::bytes_of("out/disk.IMG");
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(0, memcmp(after.data(), "IMG", 3));
    EXPECT_EQ(0, memcmp(after.data() + 3, header.bytes + 3, HEADER_SIZE - 3));
    EXPECT_TRUE(std::equal(after.begin() + HEADER_SIZE, after.end(), before.begin() + HEADER_SIZE));
}

TEST_F(HeaderFiles, FinaliseReportsAMissingOrFullFile)
{
    ImageHeader header = header_from("QRV");
    EXPECT_EQ(finalise_image("out/gone.IMG", header), STATUS_DEST_OPEN);
    EXPECT_EQ(fake::files.count("out/gone.IMG"), 0u) << "the rewrite must not create the file";

    fake::files["out/full.IMG"].data.assign(3000, 1);
    fake::files["out/full.IMG"].capacity = 50;
    EXPECT_EQ(finalise_image("out/full.IMG", header), STATUS_DEST_WRITE);
}

} // namespace
