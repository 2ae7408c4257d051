// Whether the drive holds a disc: its status, given time to settle, or for a
// device that is no drive, whether it has a size.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>  // CDSL_CURRENT is INT_MAX
#include <ctime>

#include <linux/cdrom.h>
#include <linux/fs.h>

#include "platform/posix/optical_drive.h"

namespace {

int look_at_device(void* context)
{
    const char* device = static_cast<const char*>(context);
    // O_NONBLOCK: opens without a disc, and neither closes the tray nor locks it.
    int fd;
    do
        fd = open(device, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (fd == -1 && errno == EINTR);
    if (fd == -1)
        return errno == EACCES || errno == EPERM ? DRIVE_NO_ACCESS : DRIVE_GONE;

    int look = DRIVE_NO_STATUS;
    switch (ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT)) {
    case CDS_NO_DISC:
        look = DRIVE_NO_DISC;
        break;
    case CDS_TRAY_OPEN:
        look = DRIVE_TRAY_OPEN;
        break;
    case CDS_DRIVE_NOT_READY:
        look = DRIVE_NOT_READY;
        break;
    case CDS_DISC_OK:
        look = DRIVE_DISC_OK;
        break;
    default:
        // Not a drive (ENOTTY, or EINVAL from a loop device), or one that
        // cannot tell (CDS_NO_INFO): its size decides.
        break;
    }
    // A drive's own word is taken: its size may not be known until the disc
    // is opened for data.
    if (look == DRIVE_NO_STATUS) {
        uint64_t size = 0;
        if (ioctl(fd, BLKGETSIZE64, &size) != 0 || size == 0)
            look = DRIVE_EMPTY;
    }
    close(fd);
    return look;
}

void sleep_ms(void*, int ms)
{
    timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

} // namespace

bool settle_drive(int (*look)(void* context), void (*pause_ms)(void* context, int ms), void* context)
{
    int state = look(context);
    // The time is counted in pauses, so a slow look does not cut the wait short.
    for (int waited = 0; state == DRIVE_NOT_READY && waited < DRIVE_SETTLE_LIMIT_MS; waited += DRIVE_SETTLE_POLL_MS) {
        pause_ms(context, DRIVE_SETTLE_POLL_MS);
        state = look(context);
    }
    return state == DRIVE_DISC_OK || state == DRIVE_NO_STATUS || state == DRIVE_NO_ACCESS;
}

bool drive_has_disc(const char* device)
{
    return settle_drive(look_at_device, sleep_ms, const_cast<char*>(device));
}
