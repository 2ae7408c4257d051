// Reading a block device: what it is, its size, and direct reads where its
// sector size allows them.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <linux/fs.h>

#include "platform/posix/optical_drive.h"

namespace {

constexpr int DISC_SECTOR = 2048;

} // namespace

bool path_is_block_device(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISBLK(info.st_mode);
}

bool device_reads_direct(int fd)
{
    int logical_block = 0;
    return ioctl(fd, BLKSSZGET, &logical_block) == 0 && logical_block > 0 && DISC_SECTOR % logical_block == 0;
}

uint64_t device_size(int fd)
{
    uint64_t size = 0;
    return ioctl(fd, BLKGETSIZE64, &size) == 0 ? size : 0;
}
