// Finds the disc device mounted at a source directory, from the mount table.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/posix/optical_drive.h"

namespace {

// A mount table larger than this is not read (thousands of mounts fit easily).
constexpr size_t MOUNT_TABLE_LIMIT = 16u << 20;

struct Field {
    const char* begin;
    const char* end;
};

bool field_is(Field field, const char* text)
{
    size_t length = strlen(text);
    return static_cast<size_t>(field.end - field.begin) == length && memcmp(field.begin, text, length) == 0;
}

bool is_octal(char c)
{
    return c >= '0' && c <= '7';
}

// Decodes the kernel's escapes (\040 space, \011 tab, \012 newline, \134
// backslash; any \ooo) into out. False when it does not fit or decodes to a NUL.
bool unescape(Field field, char* out, size_t capacity)
{
    size_t used = 0;
    for (const char* p = field.begin; p < field.end; ++p) {
        char c = *p;
        if (c == '\\' && field.end - p >= 4 && p[1] >= '0' && p[1] <= '3' && is_octal(p[2]) && is_octal(p[3])) {
            c = static_cast<char>((p[1] - '0') * 64 + (p[2] - '0') * 8 + (p[3] - '0'));
            p += 3;
        }
        if (c == '\0' || used + 1 >= capacity)
            return false;
        out[used++] = c;
    }
    out[used] = '\0';
    return true;
}

bool parse_number(const char*& p, const char* end, uint32_t& value)
{
    const char* start = p;
    uint64_t number = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        number = number * 10 + static_cast<uint64_t>(*p - '0');
        if (number > UINT32_MAX)
            return false;
        ++p;
    }
    value = static_cast<uint32_t>(number);
    return p != start;
}

// The fields of one mount table line that matter here:
// "ID PARENT MAJOR:MINOR ROOT MOUNT_POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER_OPTIONS"
struct MountLine {
    Field numbers;
    Field root;
    Field mount_point;
    Field type;
    Field source;
};

bool split_line(const char* begin, const char* end, MountLine& line)
{
    int index = 0;
    int after_separator = -1;  // fields since the "-" that ends the optional ones
    const char* p = begin;
    while (p < end) {
        const char* stop = static_cast<const char*>(memchr(p, ' ', static_cast<size_t>(end - p)));
        Field field = {p, stop ? stop : end};
        p = stop ? stop + 1 : end;
        if (after_separator >= 0) {
            ++after_separator;
            if (after_separator == 1)
                line.type = field;
            else if (after_separator == 2) {
                line.source = field;
                return true;
            }
        } else if (index == 2) {
            line.numbers = field;
        } else if (index == 3) {
            line.root = field;
        } else if (index == 4) {
            line.mount_point = field;
        } else if (index >= 6 && field_is(field, "-")) {
            after_separator = 0;
        }
        ++index;
    }
    return false;
}

// Whether a line's mount point, decoded, is directory (length characters).
bool mounts_at(const MountLine& line, const char* directory, size_t length)
{
    static char decoded[PATH_BUFFER_SIZE];
    return unescape(line.mount_point, decoded, sizeof decoded) && strlen(decoded) == length &&
           memcmp(decoded, directory, length) == 0;
}

bool disc_mount(const MountLine& line, MountedDevice& found)
{
    if (!field_is(line.root, "/") || !(field_is(line.type, "iso9660") || field_is(line.type, "udf")))
        return false;
    const char* p = line.numbers.begin;
    uint32_t major, minor;
    if (!parse_number(p, line.numbers.end, major) || p == line.numbers.end || *p++ != ':' ||
        !parse_number(p, line.numbers.end, minor) || p != line.numbers.end)
        return false;
    if (!unescape(line.source, found.path, sizeof found.path) || strncmp(found.path, "/dev/", 5) != 0 ||
        found.path[5] == '\0')
        return false;
    found.major = major;
    found.minor = minor;
    return true;
}

// Reads the whole mount table into a block the caller frees; nullptr when it cannot.
char* read_mount_table(size_t& length)
{
    int fd = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd == -1)
        return nullptr;
    size_t capacity = 64u << 10;
    char* text = static_cast<char*>(malloc(capacity));
    length = 0;
    while (text != nullptr) {
        if (length == capacity) {
            char* larger = capacity < MOUNT_TABLE_LIMIT ? static_cast<char*>(realloc(text, capacity * 2)) : nullptr;
            if (larger == nullptr) {
                free(text);
                text = nullptr;
                break;
            }
            text = larger;
            capacity *= 2;
        }
        ssize_t got = read(fd, text + length, capacity - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            free(text);
            text = nullptr;
        } else if (got == 0) {
            break;
        } else {
            length += static_cast<size_t>(got);
        }
    }
    close(fd);
    return text;
}

// The answer for the last directory asked about, kept for the run.
char asked_directory[PATH_BUFFER_SIZE];
bool asked = false;
bool answer_found = false;
MountedDevice answer;
char canonical[PATH_MAX];

bool look_up(const char* directory, MountedDevice& found)
{
    if (realpath(directory, canonical) == nullptr)
        return false;
    size_t length = 0;
    char* table = read_mount_table(length);
    if (table == nullptr)
        return false;
    bool counts = find_mounted_device(table, length, canonical, found);
    free(table);
    if (!counts)
        return false;
    // The directory must show that file system (it is not covered by a mount
    // above it), and the source path must still lead to its device.
    dev_t device = makedev(found.major, found.minor);
    struct stat info;
    if (stat(canonical, &info) != 0 || info.st_dev != device)
        return false;
    return stat(found.path, &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == device;
}

} // namespace

bool find_mounted_device(const char* mountinfo, size_t length, const char* directory, MountedDevice& found)
{
    size_t wanted = strlen(directory);
    while (wanted > 1 && directory[wanted - 1] == '/')
        --wanted;
    if (wanted == 0 || directory[0] != '/')
        return false;

    MountLine last = {};
    bool seen = false;
    const char* end = mountinfo + length;
    for (const char* p = mountinfo; p < end;) {
        const char* newline = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* line_end = newline ? newline : end;
        MountLine line;
        if (split_line(p, line_end, line) && mounts_at(line, directory, wanted)) {
            last = line;
            seen = true;
        }
        p = newline ? newline + 1 : end;
    }
    return seen && disc_mount(last, found);
}

const char* mounted_device(const char* directory)
{
    if (!asked || strcmp(directory, asked_directory) != 0) {
        size_t length = strlen(directory);
        if (length >= sizeof asked_directory)
            return nullptr;
        memcpy(asked_directory, directory, length + 1);
        asked = true;
        answer_found = look_up(directory, answer);
    }
    return answer_found ? answer.path : nullptr;
}
