// Optical drives on Linux: the block device mounted at a source directory,
// whether the drive holds a disc, where the disc's last session starts, and
// reads from the device itself.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/path_rules.h"

// ---- The device mounted at a directory (mount_lookup.cpp) ----

// A disc file system mounted from a block device.
struct MountedDevice {
    char path[PATH_BUFFER_SIZE];  // the mount source as the mount table spells it: /dev/...
    uint32_t major;               // the file system's device number, from the same line
    uint32_t minor;
};

// Looks in mount table text in the form of /proc/self/mountinfo for the mount
// at directory, a canonical absolute path (a trailing slash does not matter).
// Mounts stack: the last line for that mount point is the one in effect, and
// only it is considered. It counts when it mounts the whole file system (root
// "/", not a bind mount of a subdirectory), its source is a device path
// (/dev/...) and its type is a disc file system (iso9660 or udf): a hard disk
// or memory stick mounted there keeps being read as files, and its device is
// never opened behind the user's back. Reading the device still needs an
// ISO9660 volume on it (a UDF-only disc has none), which the caller checks. Escaped characters (\040 and the like) are
// decoded; a line too long or malformed to decode simply does not match.
// Fills found and returns true when the mount counts.
bool find_mounted_device(const char* mountinfo, size_t length, const char* directory, MountedDevice& found);

// The disc device mounted at directory (any spelling: it is canonicalised
// here) or nullptr. The mount table is read at the first call and the answer
// kept for the run, for that spelling of the directory: the device is still
// known once the disc has been ejected and its file system unmounted (or its
// mount point removed). A mount hidden by another one above its directory,
// or whose source path no longer leads to its device, does not count. The
// device path lives in a process-wide buffer.
const char* mounted_device(const char* directory);

// ---- Whether the drive holds a disc (drive_state.cpp) ----

// What one look at the device found.
constexpr int DRIVE_GONE = 0;        // cannot be opened: no such device, no medium
constexpr int DRIVE_NO_ACCESS = 1;   // exists but opening it is not allowed
constexpr int DRIVE_NO_DISC = 2;     // the drive reports no disc
constexpr int DRIVE_TRAY_OPEN = 3;   // the drive reports its tray open
constexpr int DRIVE_NOT_READY = 4;   // the drive is still spinning up or reading the disc
constexpr int DRIVE_DISC_OK = 5;     // the drive reports a disc ready
constexpr int DRIVE_NO_STATUS = 6;   // not a drive that reports (a loop device), with a size
constexpr int DRIVE_EMPTY = 7;       // not a drive that reports, of size 0 (an empty loop device)

// How long a drive that is not ready is given to settle, and how often it is asked.
constexpr int DRIVE_SETTLE_LIMIT_MS = 30000;
constexpr int DRIVE_SETTLE_POLL_MS = 250;

// Decides whether a disc is there from looks at the drive: while it is not
// ready, pauses DRIVE_SETTLE_POLL_MS and looks again, until the pauses add up
// to DRIVE_SETTLE_LIMIT_MS. A disc that is ready, a device without drive
// status that has a size, and a device that cannot be opened for lack of
// permission (so opening the part reports that instead of a disc being
// asked for) count as present; everything else, including a drive still not
// ready at the end, as absent.
bool settle_drive(int (*look)(void* context), void (*pause_ms)(void* context, int ms), void* context);

// settle_drive over a block device: each look opens it without waiting for
// a disc (O_NONBLOCK, which neither closes the tray nor locks it), asks for
// the drive status, or where the device has none reads its size, and closes
// it again, so nothing holds the drive between looks or after.
bool drive_has_disc(const char* device);

// ---- The disc's last session (drive_session.cpp) ----

// Byte offset of the start of the last session on a multisession (XA) disc,
// where its newest volume descriptors are; 0 for a single session disc and
// for a device that does not tell (a loop device). The caller checks it
// against the device's size.
uint64_t drive_session_start(int fd);

// ---- Reading the device (device_reads.cpp) ----

// True when path (symbolic links followed, as /dev/cdrom) is a block device.
bool path_is_block_device(const char* path);

// True when direct reads in 2048-byte sectors suit the device: its logical
// block size divides 2048.
bool device_reads_direct(int fd);

// The device's size in bytes; 0 when it has no medium or cannot tell.
uint64_t device_size(int fd);
