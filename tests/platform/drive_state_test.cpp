// Whether the drive holds a disc, decided from scripted looks at it.
#include <gtest/gtest.h>

#include <vector>

#include "platform/posix/optical_drive.h"

namespace {

// Looks at the drive answer from the script in turn, its last entry for ever after.
struct Drive {
    std::vector<int> script;
    size_t looks = 0;
    std::vector<int> pauses;
};

int look(void* context)
{
    Drive& drive = *static_cast<Drive*>(context);
    size_t at = drive.looks < drive.script.size() ? drive.looks : drive.script.size() - 1;
    ++drive.looks;
    return drive.script[at];
}

void pause_ms(void* context, int ms)
{
    static_cast<Drive*>(context)->pauses.push_back(ms);
}

std::vector<int> not_ready_then(size_t count, int last)
{
    std::vector<int> script(count, DRIVE_NOT_READY);
    script.push_back(last);
    return script;
}

constexpr size_t POLLS_IN_LIMIT = DRIVE_SETTLE_LIMIT_MS / DRIVE_SETTLE_POLL_MS;

TEST(DriveState, SettlesOnTheDrivesAnswer)
{
    struct Case {
        const char* name;
        std::vector<int> script;
        bool present;
        size_t pauses;
    } cases[] = {
        {"no disc", {DRIVE_NO_DISC}, false, 0},
        {"tray open", {DRIVE_TRAY_OPEN}, false, 0},
        {"disc ready", {DRIVE_DISC_OK}, true, 0},
        {"no drive status, with a size (a loop device)", {DRIVE_NO_STATUS}, true, 0},
        {"no drive status, size 0 (an empty loop device)", {DRIVE_EMPTY}, false, 0},
        {"no such device", {DRIVE_GONE}, false, 0},
        {"not allowed to open it", {DRIVE_NO_ACCESS}, true, 0},
        {"not ready, then ready", not_ready_then(3, DRIVE_DISC_OK), true, 3},
        {"not ready, then no disc", not_ready_then(2, DRIVE_NO_DISC), false, 2},
        {"not ready, then tray open", not_ready_then(1, DRIVE_TRAY_OPEN), false, 1},
        {"ready at the last look", not_ready_then(POLLS_IN_LIMIT, DRIVE_DISC_OK), true, POLLS_IN_LIMIT},
        {"ready only after the limit", not_ready_then(POLLS_IN_LIMIT + 1, DRIVE_DISC_OK), false, POLLS_IN_LIMIT},
        {"never ready", {DRIVE_NOT_READY}, false, POLLS_IN_LIMIT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Drive drive{c.script, 0, {}};
        EXPECT_EQ(settle_drive(look, pause_ms, &drive), c.present);
        // One look before the first pause and one after each.
        EXPECT_EQ(drive.pauses.size(), c.pauses);
        EXPECT_EQ(drive.looks, c.pauses + 1);
        for (int ms : drive.pauses)
            EXPECT_EQ(ms, DRIVE_SETTLE_POLL_MS);
    }
}

TEST(DriveState, WaitsThirtySecondsForADriveThatStaysNotReady)
{
    Drive drive{{DRIVE_NOT_READY}, 0, {}};
    EXPECT_FALSE(settle_drive(look, pause_ms, &drive));
    int waited = 0;
    for (int ms : drive.pauses)
        waited += ms;
    EXPECT_EQ(waited, 30000);
}

} // namespace
