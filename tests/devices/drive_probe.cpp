// drive_probe: runs the Linux drive services on a real device or directory,
// for the device tests.
//   drive_probe has-disc DEVICE      "present" or "absent"
//   drive_probe info DEVICE          block device, direct reads, size, session start
//   drive_probe mounted DIRECTORY    the disc device mounted there, or "none"
//   drive_probe read DEVICE SECTOR   one 2048-byte sector, opened and read as a part is, to stdout
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/disc_file.h"
#include "platform/posix/optical_drive.h"

namespace {

constexpr size_t SECTOR = 2048;

int usage()
{
    fprintf(stderr, "usage: drive_probe has-disc|info|read|mounted DEVICE|DIRECTORY [SECTOR]\n");
    return 2;
}

int info(const char* device)
{
    printf("block-device %s\n", path_is_block_device(device) ? "yes" : "no");
    int fd = open(device, O_RDONLY | O_CLOEXEC);
    if (fd == -1) {
        printf("open failed: %s\n", strerror(errno));
        return 1;
    }
    printf("direct %s\nsize %llu\nsession %llu\n", device_reads_direct(fd) ? "yes" : "no",
           static_cast<unsigned long long>(device_size(fd)),
           static_cast<unsigned long long>(drive_session_start(fd)));
    close(fd);
    return 0;
}

int read_sector(const char* device, const char* sector_text)
{
    char* end = nullptr;
    unsigned long long sector = strtoull(sector_text, &end, 10);
    if (end == sector_text || *end != '\0' || sector > (1ULL << 40))
        return usage();
    DiscFile* disc = disc_open(device);
    if (disc == nullptr) {
        fprintf(stderr, "open failed: %s\n", strerror(errno));
        return 1;
    }
    // Reads go into page-aligned memory, as the transfer buffer is.
    unsigned char* buffer = static_cast<unsigned char*>(aligned_alloc(4096, 4096));
    uint32_t got = buffer ? disc_read_at(disc, sector * SECTOR, buffer, SECTOR) : 0;
    disc_close(disc);
    if (got != SECTOR) {
        fprintf(stderr, "read failed: %s\n", got == 0 ? "nothing read" : "short read");
        free(buffer);
        return 1;
    }
    fwrite(buffer, 1, SECTOR, stdout);
    free(buffer);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    const char* command = argv[1];
    if (strcmp(command, "has-disc") == 0 && argc == 3) {
        puts(drive_has_disc(argv[2]) ? "present" : "absent");
        return 0;
    }
    if (strcmp(command, "info") == 0 && argc == 3)
        return info(argv[2]);
    if (strcmp(command, "read") == 0 && argc == 4)
        return read_sector(argv[2], argv[3]);
    if (strcmp(command, "mounted") == 0 && argc == 3) {
        const char* device = mounted_device(argv[2]);
        puts(device ? device : "none");
        return 0;
    }
    return usage();
}
