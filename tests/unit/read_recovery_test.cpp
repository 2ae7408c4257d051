// Recovery of a short chunk read: which sectors are read again, how often,
// and when the run may still finish.
#include <gtest/gtest.h>

#include "front/status.h"
#include "platform/source_file.h"
#include "tests/unit/image_parts.h"
#include "transfer/copy_engine.h"
#include "transfer/read_recovery.h"

namespace {

constexpr uint64_t CHUNK = CHUNK_SIZE;
constexpr uint64_t S = SECTOR_SIZE;

struct RecoveryCase {
    const char* name;
    std::vector<MarkerPlace> markers;
    std::map<uint64_t, int> bad_sectors;  // in part 1
    int status;
    uint64_t dest1_size;                  // what destination part 1 holds
    std::vector<int> reads_per_sector;    // recovery reads of sectors 0, 1 ... of the failing chunk
};

std::vector<int> with_reads(std::vector<int> counts, size_t sector, int reads)
{
    counts[sector] = reads;
    return counts;
}

// Part 1 is three chunks long; faults sit in its second chunk.
TEST(ReadRecovery, ShortChunksAreReadAgainSectorBySector)
{
    const uint64_t chunk = CHUNK;
    const RecoveryCase cases[] = {
        {"first sector unreadable", {{1, 2 * chunk + 2 * S}}, {{chunk, -1}}, STATUS_SOURCE_READ, chunk, {4}},
        {"sector good on its fourth read", {{1, chunk + 5 * S}}, {{chunk + 2 * S, 4}}, STATUS_OK, chunk + 5 * S,
         with_reads(std::vector<int>(31, 1), 2, 4)},
        {"sector still bad on its fourth read", {{1, chunk + 5 * S}}, {{chunk + 2 * S, 5}}, STATUS_SOURCE_READ,
         chunk, {1, 1, 4}},
        {"all sectors good on retry but no marker", {}, {{chunk + 3 * S, 1}}, STATUS_SOURCE_READ, chunk,
         std::vector<int>(31, 1)},
        {"marker before sectors that stay bad", {{1, chunk + 6 * S}}, {{chunk + 9 * S, -1}}, STATUS_OK,
         chunk + 6 * S, {1, 1, 1, 1, 1, 1, 1, 1, 1, 4}},
    };
    for (const RecoveryCase& c : cases) {
        SCOPED_TRACE(c.name);
        fake::reset();
        ImageSet set;
        set.part_sizes = {2 * CHUNK, 3 * CHUNK};
        set.markers = c.markers;
        parts::install(set);
        fake::files["disc/KORVADIS.001"].bad_sectors = c.bad_sectors;

        testing::internal::CaptureStdout();
        EXPECT_EQ(parts::convert(), c.status);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(fake::bytes_of("out/disk.001").size(), c.dest1_size);
        // Converted when the recovered chunk held the marker, else as copied up to the failing chunk.
        auto wanted = expected_parts(set, {1, c.dest1_size, c.status == STATUS_OK});
        EXPECT_TRUE(fake::bytes_of("out/disk.IMG") == wanted[0]);
        EXPECT_TRUE(fake::bytes_of("out/disk.001") == wanted[1]);

        // After the short chunk read: only whole sectors of that chunk, in
        // order, at most four reads each, nothing after a sector that stays bad.
        std::vector<int> per_sector;
        bool after_short = false;
        for (const fake::ReadCall& call : fake::reads) {
            if (call.path != "disc/KORVADIS.001")
                continue;
            if (!after_short) {
                after_short = call.delivered != call.count;
                continue;
            }
            ASSERT_EQ(call.count, SECTOR_SIZE);
            ASSERT_EQ((call.offset - CHUNK) % S, 0u);
            size_t sector = static_cast<size_t>((call.offset - CHUNK) / S);
            ASSERT_LT(sector, 31u);
            ASSERT_GE(sector + 1, per_sector.size()) << "sectors are read in order";
            per_sector.resize(sector + 1);
            ++per_sector[sector];
        }
        EXPECT_TRUE(after_short);
        EXPECT_EQ(per_sector, c.reads_per_sector);
    }
}

TEST(ReadRecovery, AShortFirstChunkAlwaysFails)
{
    fake::reset();
    ImageSet set;
    set.part_sizes = {2 * CHUNK};
    set.markers = {{0, 10 * S}};
    parts::install(set);
    fake::files["disc/KORVADIS.IMG"].bad_sectors[20 * S] = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(parts::convert(), STATUS_SOURCE_READ);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(fake::bytes_of("out/disk.IMG").size(), 0u);
}

TEST(ReadRecovery, TrailingPartialSectorIsNeverCounted)
{
    fake::reset();
    fake::files["p"].data.assign(3 * S + 100, 7);
    fake::files["p"].bad_sectors[S] = 1;
    SourceFile* source = source_open("p");
    std::vector<unsigned char> buffer(CHUNK_SIZE);
    EXPECT_EQ(read_chunk_recover(source, buffer.data(), 3 * S + 100, 0), 3 * S);
    source_close(source);
}

} // namespace
