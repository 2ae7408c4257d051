/* Swaps the file behind a read-only loop device for another of the same size,
 * as a disc change in a drive (losetup has no option for LOOP_CHANGE_FD).
 * usage: loop_change_fd DEVICE FILE */
#include <fcntl.h>
#include <linux/loop.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: loop_change_fd DEVICE FILE\n");
        return 2;
    }
    int device = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (device == -1) {
        perror(argv[1]);
        return 1;
    }
    int file = open(argv[2], O_RDONLY | O_CLOEXEC);
    if (file == -1) {
        perror(argv[2]);
        return 1;
    }
    /* The kernel refuses unless the device is read-only and both are the same size. */
    if (ioctl(device, LOOP_CHANGE_FD, file) != 0) {
        perror("LOOP_CHANGE_FD");
        return 1;
    }
    close(file);
    close(device);
    return 0;
}
