// Where the last session of a multisession disc starts, as the drive reports it.
#include <sys/ioctl.h>

#include <climits>

#include <linux/cdrom.h>

#include "platform/posix/optical_drive.h"

namespace {

constexpr uint64_t DISC_SECTOR = 2048;

} // namespace

uint64_t drive_session_start(int fd)
{
    cdrom_multisession session = {};
    session.addr_format = CDROM_LBA;
    // A device that is no drive refuses (a loop device with EINVAL).
    if (ioctl(fd, CDROMMULTISESSION, &session) != 0 || !session.xa_flag || session.addr_format != CDROM_LBA)
        return 0;
    if (session.addr.lba <= 0)
        return 0;
    return static_cast<uint64_t>(session.addr.lba) * DISC_SECTOR;
}
