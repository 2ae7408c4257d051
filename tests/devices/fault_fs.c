/* A read-only FUSE file system serving one image file whose chosen 2048-byte
 * sectors cannot be read, standing in for a scratched disc under a loop device.
 *
 * usage: fault_fs [--bad SECTOR[:FAILURES]]... [--log FILE] [--name NAME] IMAGE MOUNTPOINT
 *   --bad    a read touching SECTOR fails with EIO; with FAILURES it fails that
 *            many times and then reads fine, without it always (repeatable)
 *   --log    appends "OFFSET SIZE RESULT" for every read (RESULT: bytes or -errno)
 *   --name   the file's name in the root directory (default disc.iso)
 *
 * Runs in the foreground and single-threaded (the log's order and the
 * failure counts need no locks); unmount it to end it. Reads bypass the page
 * cache (direct_io), so every read the kernel is asked for arrives here as is. */
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define SECTOR 2048
#define MAX_BAD 64

struct bad_sector {
    long long sector;
    long long failures_left; /* -1: always */
};

static struct bad_sector bad[MAX_BAD];
static int bad_count;
static int image_fd = -1;
static int log_fd = -1;
static off_t image_size;
static char file_path[256] = "/disc.iso";

static int fs_getattr(const char* path, struct stat* st, struct fuse_file_info* fi)
{
    (void)fi;
    memset(st, 0, sizeof *st);
    if (strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
        return 0;
    }
    if (strcmp(path, file_path) != 0)
        return -ENOENT;
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_size = image_size;
    return 0;
}

static int fs_readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info* fi, enum fuse_readdir_flags flags)
{
    (void)offset, (void)fi, (void)flags;
    if (strcmp(path, "/") != 0)
        return -ENOENT;
    fill(buffer, ".", NULL, 0, 0);
    fill(buffer, "..", NULL, 0, 0);
    fill(buffer, file_path + 1, NULL, 0, 0);
    return 0;
}

static int fs_open(const char* path, struct fuse_file_info* fi)
{
    if (strcmp(path, file_path) != 0)
        return -ENOENT;
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    fi->direct_io = 1;
    fi->keep_cache = 0;
    return 0;
}

/* Whether a read of [offset, offset + size) fails; a failing read counts one
 * failure against every bad sector it touches. */
static int read_fails(off_t offset, size_t size)
{
    long long first = offset / SECTOR;
    long long last = (offset + (off_t)size - 1) / SECTOR;
    int fails = 0;
    for (int i = 0; i < bad_count; ++i)
        if (bad[i].sector >= first && bad[i].sector <= last && bad[i].failures_left != 0)
            fails = 1;
    if (!fails)
        return 0;
    for (int i = 0; i < bad_count; ++i)
        if (bad[i].sector >= first && bad[i].sector <= last && bad[i].failures_left > 0)
            --bad[i].failures_left;
    return 1;
}

static int fs_read(const char* path, char* buffer, size_t size, off_t offset, struct fuse_file_info* fi)
{
    (void)path, (void)fi;
    int result;
    if (offset < 0)
        result = -EINVAL;
    else if (size == 0 || offset >= image_size)
        result = 0;
    else {
        if ((off_t)size > image_size - offset)
            size = (size_t)(image_size - offset);
        if (read_fails(offset, size))
            result = -EIO;
        else {
            ssize_t got = pread(image_fd, buffer, size, offset);
            result = got < 0 ? -errno : (int)got;
        }
    }
    if (log_fd != -1)
        dprintf(log_fd, "%lld %zu %d\n", (long long)offset, size, result);
    return result;
}

static void* fs_init(struct fuse_conn_info* conn, struct fuse_config* config)
{
    (void)conn;
    config->direct_io = 1;
    config->kernel_cache = 0;
    return NULL;
}

static const struct fuse_operations operations = {
    .getattr = fs_getattr,
    .open = fs_open,
    .read = fs_read,
    .readdir = fs_readdir,
    .init = fs_init,
};

static int usage(void)
{
    fprintf(stderr, "usage: fault_fs [--bad SECTOR[:FAILURES]]... [--log FILE] [--name NAME] IMAGE MOUNTPOINT\n");
    return 2;
}

static int parse_bad(const char* text)
{
    char* end;
    long long sector = strtoll(text, &end, 10);
    long long failures = -1;
    if (end == text || sector < 0 || bad_count == MAX_BAD)
        return 0;
    if (*end == ':') {
        const char* count = end + 1;
        failures = strtoll(count, &end, 10);
        if (end == count || failures < 0)
            return 0;
    }
    if (*end != '\0')
        return 0;
    bad[bad_count].sector = sector;
    bad[bad_count].failures_left = failures;
    ++bad_count;
    return 1;
}

int main(int argc, char** argv)
{
    const char* image = NULL;
    const char* mountpoint = NULL;
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : NULL;
        if (strcmp(argv[i], "--bad") == 0 && value) {
            if (!parse_bad(value))
                return usage();
            ++i;
        } else if (strcmp(argv[i], "--log") == 0 && value) {
            log_fd = open(value, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (log_fd == -1) {
                perror(value);
                return 1;
            }
            ++i;
        } else if (strcmp(argv[i], "--name") == 0 && value) {
            if (strchr(value, '/') || !*value || strlen(value) + 2 > sizeof file_path)
                return usage();
            snprintf(file_path, sizeof file_path, "/%s", value);
            ++i;
        } else if (argv[i][0] == '-') {
            return usage();
        } else if (!image) {
            image = argv[i];
        } else if (!mountpoint) {
            mountpoint = argv[i];
        } else {
            return usage();
        }
    }
    if (!image || !mountpoint)
        return usage();

    image_fd = open(image, O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (image_fd == -1 || fstat(image_fd, &info) != 0) {
        perror(image);
        return 1;
    }
    image_size = info.st_size;

    char* fuse_argv[] = {argv[0], "-f", "-s", "-o", "ro,fsname=fault_fs,subtype=fault_fs", (char*)mountpoint, NULL};
    return fuse_main(6, fuse_argv, &operations, NULL);
}
