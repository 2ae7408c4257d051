// The copy over the fake platform: where the image is cut, which header it
// gets, what each destination part holds, and how failures end it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "front/status.h"
#include "platform/path_rules.h"
#include "tests/unit/image_parts.h"
#include "transfer/copy_engine.h"

namespace {

constexpr uint64_t K = 1024;
constexpr uint64_t CHUNK = CHUNK_SIZE;

std::string dest_name(uint32_t part)
{
    return parts::name("out/disk", part);
}

// Each test hands its case to convert(): the set, how to fault or reshape it
// once installed, and the two arguments.
class CopyEngine : public ::testing::Test {
protected:
    // Installs set, lets arrange change the fake files, runs the conversion
    // and keeps its standard output. Every source part must be closed after.
    int convert(const ImageSet& set, const std::function<void()>& arrange = nullptr, const char* source = "disc",
                const std::string& dest = "out/disk")
    {
        fake::reset();
        parts::install(set);
        if (arrange)
            arrange();
        testing::internal::CaptureStdout();
        int status = parts::convert(source, dest);
        output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(fake::open_sources(), 0) << "every source part is closed";
        return status;
    }

    // The destination holds what the copy leaves when it ends at end, and no later part.
    void expect_destination(const ImageSet& set, const CopyEnd& end)
    {
        auto wanted = expected_parts(set, end);
        ASSERT_EQ(wanted.size(), end.part + 1u);
        for (uint32_t part = 0; part < wanted.size(); ++part)
            EXPECT_TRUE(fake::bytes_of(dest_name(part)) == wanted[part]) << "destination part " << part;
        EXPECT_EQ(fake::files.count(dest_name(end.part + 1)), 0u) << "nothing is created after the end";
    }

    std::string output;
};

ImageSet set_of(std::vector<uint64_t> part_sizes, std::vector<MarkerPlace> markers = {})
{
    ImageSet set;
    set.part_sizes = std::move(part_sizes);
    set.markers = std::move(markers);
    return set;
}

struct CutCase {
    const char* name;
    std::vector<uint64_t> part_sizes;
    std::vector<MarkerPlace> markers;
    uint32_t cut_part;
    uint64_t cut_offset;
    uint32_t marker_taken;  // number of the marker whose header part 0 gets
};

TEST_F(CopyEngine, CutsAtTheAcceptedMarker)
{
    const CutCase cases[] = {
        {"marker in a later chunk of a single part", {5 * CHUNK}, {{0, 3 * CHUNK + 4096}}, 0, 3 * CHUNK + 4096, 1},
        {"marker at the start of a chunk", {3 * CHUNK}, {{0, CHUNK}}, 0, CHUNK, 1},
        {"marker in the first chunk of part 0 is data", {2 * CHUNK, 100 * K}, {{0, 8192}, {1, 40960}}, 1, 40960, 2},
        {"marker in the first sector of part 1", {2 * CHUNK, 100 * K}, {{1, 0}}, 1, 0, 1},
        {"marker in the first chunk of part 1", {CHUNK + 5000, 3 * CHUNK}, {{1, 2048 * 7}}, 1, 2048 * 7, 1},
        {"empty part in between", {2 * CHUNK, 0, CHUNK}, {{2, 4096}}, 2, 4096, 1},
        {"last of two markers in one chunk wins", {4 * CHUNK}, {{0, 2 * CHUNK + 2048}, {0, 2 * CHUNK + 20480}}, 0,
         2 * CHUNK + 20480, 2},
        {"first chunk holding a marker ends the copy", {4 * CHUNK}, {{0, CHUNK + 2048}, {0, 3 * CHUNK}}, 0,
         CHUNK + 2048, 1},
        {"marker in the partial last sector of a part", {CHUNK + 2048 * 3 + 700}, {{0, CHUNK + 2048 * 3}}, 0,
         CHUNK + 2048 * 3, 1},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageSet set = set_of(c.part_sizes, c.markers);
        ASSERT_EQ(convert(set), STATUS_OK) << output;
        // The worked-out cut, which the shell tests take from the image builder too.
        CopyEnd end = conversion_end(set);
        EXPECT_TRUE(end.converted && end.part == c.cut_part && end.offset == c.cut_offset)
            << "the image builder puts the cut at part " << end.part << " offset " << end.offset;
        expect_destination(set, {c.cut_part, c.cut_offset, true});
        std::vector<unsigned char> header = marker_header(set, c.marker_taken);
        EXPECT_EQ(0, memcmp(fake::bytes_of(dest_name(0)).data() + 3, header.data() + 3, header.size() - 3))
            << "part 0 has the header of marker " << c.marker_taken;
    }
}

TEST_F(CopyEngine, PrintsEachPartAndTheClosingMessage)
{
    ASSERT_EQ(convert(set_of({CHUNK * 2, CHUNK}, {{1, 2048}})), STATUS_OK);
    EXPECT_EQ(output, parts::native("\n\nCopying file disc/KORVADIS.IMG to out/disk.IMG..."
                                    "\n\nCopying file disc/KORVADIS.001 to out/disk.001..."
                                    "\nCompleted Successfuly\n"));
}

TEST_F(CopyEngine, ReadsWholeChunksThenTheRemainder)
{
    ASSERT_EQ(convert(set_of({2 * CHUNK + 5000, 3 * CHUNK}, {{1, 2 * CHUNK}})), STATUS_OK);
    std::vector<std::pair<uint64_t, uint32_t>> part0_reads;
    for (const fake::ReadCall& call : fake::reads)
        if (call.path == "disc/KORVADIS.IMG")
            part0_reads.push_back({call.offset, call.count});
    const std::vector<std::pair<uint64_t, uint32_t>> wanted = {
        {0, 2048}, {0, CHUNK_SIZE}, {CHUNK, CHUNK_SIZE}, {2 * CHUNK, 5000}};
    EXPECT_EQ(part0_reads, wanted);
}

TEST_F(CopyEngine, KeepsTheTypedExtensionOfPartZero)
{
    // The platform says which name part 0 was created under; where it answers
    // ".IMG" whatever was typed, its names ignore letter case (not so the fake's).
    std::string asked = parts::native("out/Disk.001");
    std::vector<char> part0(asked.begin(), asked.end());
    part0.push_back('\0');
    name_dest_part0(part0.data(), ".img");
    if (std::string(part0.data()) != parts::native("out/Disk.img"))
        GTEST_SKIP() << "part 0 is named " << part0.data() << " here, which names the typed file too";
    EXPECT_EQ(convert(set_of({CHUNK, CHUNK}, {{1, 4096}}), nullptr, "disc", "out/Disk.img"), STATUS_OK);
    EXPECT_EQ(0, memcmp(fake::bytes_of("out/Disk.img").data(), "IMG", 3));
    EXPECT_EQ(fake::bytes_of("out/Disk.001").size(), 4096u);
    EXPECT_EQ(fake::files.count("out/Disk.IMG"), 0u);
}

TEST_F(CopyEngine, StaleBytesBeyondAShortLastSectorAreNoMarker)
{
    // Part 1 holds just the first ten header bytes; the rest of the sector
    // in the buffer is still part 0's header sector.
    ImageSet set = set_of({4096, 10});
    EXPECT_EQ(convert(set,
                      [&] {
                          std::vector<unsigned char> header = image_header(set);
                          fake::files["disc/KORVADIS.001"].data.assign(header.begin(), header.begin() + 10);
                      }),
              STATUS_SOURCE_OPEN);
    EXPECT_EQ(fake::bytes_of(dest_name(1)).size(), 10u);
    EXPECT_EQ(0, memcmp(fake::bytes_of(dest_name(0)).data(), "QRV", 3));
}

struct FailureCase {
    const char* name;
    std::function<void()> arrange;
    const char* source_arg;
    const char* dest_arg;
    int status;
    const char* last_message;
    CopyEnd kept;  // the destination parts as copied up to the failure (destination out/disk)
};

TEST_F(CopyEngine, FailuresEndTheRunNamingThePartAndKeepWhatWasWritten)
{
    const FailureCase cases[] = {
        {"no marker anywhere", [] {}, "disc", "out/disk", STATUS_SOURCE_OPEN,
         "Please insert disc for file disc/KORVADIS.002 and press enter.\n", {1, CHUNK, false}},
        {"destination part 1 cannot be created", [] { fake::refuse_open.push_back("out/disk.001"); }, "disc",
         "out/disk", STATUS_DEST_OPEN, "Copying file disc/KORVADIS.001 to out/disk.001...", {0, 2 * CHUNK, false}},
        {"destination full", [] { fake::files["out/disk.001"].capacity = 1000; }, "disc", "out/disk",
         STATUS_DEST_WRITE, "Copying file disc/KORVADIS.001 to out/disk.001...", {1, 1000, false}},
        {"part 1 never reaches the disk", [] { fake::refuse_flush.push_back("out/disk.001"); }, "disc", "out/disk",
         STATUS_DEST_WRITE, "Copying file disc/KORVADIS.001 to out/disk.001...", {1, CHUNK, false}},
        {"destination is the source itself", [] {}, "disc", "disc/KORVADIS", STATUS_DEST_OPEN,
         "Copying file disc/KORVADIS.IMG to disc/KORVADIS.IMG...", {}},
        {"unreadable part 1", [] { fake::files["disc/KORVADIS.001"].bad_sectors[0] = -1; }, "disc", "out/disk",
         STATUS_SOURCE_READ, "Copying file disc/KORVADIS.001 to out/disk.001...", {1, 0, false}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageSet set = set_of({2 * CHUNK, CHUNK});
        EXPECT_EQ(convert(set, c.arrange, c.source_arg, c.dest_arg), c.status);
        EXPECT_EQ(output.substr(output.rfind('\n', output.size() - 2) + 1), parts::native(c.last_message)) << output;
        EXPECT_TRUE(fake::bytes_of("disc/KORVADIS.IMG") == part_bytes(set, 0)) << "the source is never changed";
        if (strcmp(c.dest_arg, "out/disk") == 0)
            expect_destination(set, c.kept);
        else
            EXPECT_TRUE(fake::created.empty()) << "nothing is created";
    }
}

TEST_F(CopyEngine, HeaderRewriteOfAVanishedPartZeroFailsWithoutCreatingIt)
{
    ImageSet set = set_of({2 * CHUNK, CHUNK}, {{1, 4096}});
    auto vanish_on_enter = [&] {
        fake::files.erase("disc/KORVADIS.001");
        fake::console_keys = {13};
        fake::on_key = [&](int) {
            fake::files.erase("out/disk.IMG");
            parts::install(set);
        };
    };
    EXPECT_EQ(convert(set, vanish_on_enter), STATUS_DEST_OPEN);
    EXPECT_EQ(dest_path, parts::native("out/disk.IMG"));
    EXPECT_EQ(fake::files.count("out/disk.IMG"), 0u);
}

TEST_F(CopyEngine, StopsCleanlyAfterTheLastNumberedPart)
{
    // Part 0 and 999 empty parts, none holding a marker.
    std::vector<uint64_t> sizes(LAST_PART_INDEX + 1, 0);
    sizes[0] = CHUNK;
    ASSERT_EQ(convert(set_of(sizes)), STATUS_SOURCE_OPEN);
    EXPECT_EQ(source_path, parts::native("disc/KORVADIS.999"));
    EXPECT_EQ(dest_path, parts::native("out/disk.999"));
    EXPECT_EQ(fake::created.size(), LAST_PART_INDEX + 1);
}

TEST_F(CopyEngine, CopiesPartsBeyondFourGibibytesWhole)
{
    const uint64_t big = (uint64_t{4} << 30) + 3 * CHUNK + 1000;
    auto grow_part0 = [&] {
        fake::files["disc/KORVADIS.IMG"].zero_tail = big - CHUNK;
        fake::files["out/disk.IMG"].kept_head = CHUNK;
    };
    EXPECT_EQ(convert(set_of({CHUNK, CHUNK}, {{1, 2048}}), grow_part0), STATUS_OK);
    const fake::File& part0 = fake::files["out/disk.IMG"];
    EXPECT_EQ(part0.data.size() + part0.written_beyond_head, big);
    EXPECT_EQ(0, memcmp(part0.data.data(), "IMG", 3));
    EXPECT_EQ(fake::bytes_of("out/disk.001").size(), 2048u);
}

TEST(PartSuffix, NamesPartsUpToTheLastNumber)
{
    char path[] = "disc/KORVADIS.IMG";
    struct Case { uint32_t part; bool ok; const char* path; } cases[] = {
        {1, true, "disc/KORVADIS.001"}, {42, true, "disc/KORVADIS.042"}, {999, true, "disc/KORVADIS.999"},
        {1000, false, "disc/KORVADIS.999"}, {0, true, "disc/KORVADIS.IMG"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(part_suffix(path, c.part), c.ok) << c.part;
        EXPECT_STREQ(path, c.path);
    }
}

} // namespace
