// Files and devices read at byte positions around the system cache, what a
// path names, and directory listings: the platform's part of reading sources.
#pragma once
#include <cstdint>

// The sector every direct read is aligned to and rounded up to.
constexpr uint32_t DISC_SECTOR_SIZE = 2048;

enum PathKind {
    PATH_MISSING,    // nothing of that name, or it cannot be examined
    PATH_FILE,       // a regular file (after symbolic links)
    PATH_DIRECTORY,
    PATH_DEVICE,     // a block device, such as a disc in a drive (Linux)
    PATH_OTHER,      // anything else: a FIFO, a socket, a character device
};

PathKind disc_path_kind(const char* path);

// Owned by the platform layer; callers only pass it back.
struct DiscFile;

// Opens an existing file or device for reading, directly where the file
// system allows it. nullptr when it cannot be opened or is a directory.
DiscFile* disc_open(const char* path);

// Its size in bytes: a file's length, a device's capacity.
uint64_t disc_size(DiscFile* file);

// Reads up to count bytes at position into buffer, which is page aligned
// and has room for count rounded up to a whole DISC_SECTOR_SIZE sector.
// Direct reads move whole sectors, so they may fill that room; past the end
// of the file they deliver only what is there. Returns the count delivered:
// count means success, anything less means the read failed or the file ended.
// A read that follows a failed one reaches the medium again, not a cache.
uint32_t disc_read_at(DiscFile* file, uint64_t position, unsigned char* buffer, uint32_t count);

void disc_close(DiscFile* file);

// True when path names the very file or device that file reads.
bool disc_same_file(const char* path, DiscFile* file);

// Whether the disc device at path holds a disc, asked without opening it for
// reading and without keeping it open (an open drive locks its door): false
// while a drive reports no disc or its tray open, or it is no longer there;
// a drive still reading its disc is given time to settle first. A device
// that is no drive counts by its size, one the user may not open as holding
// a disc (so that opening it reports the refusal). True for anything that is
// not a device.
bool disc_medium_present(const char* path);

// Byte offset of the session whose volume descriptors count: the last
// session's start on a multisession disc, 0 for a file and for a device that
// does not tell. Not checked against the size.
uint64_t disc_session_offset(DiscFile* file);

// The disc device whose file system is mounted at directory, to be read in
// its place, or nullptr: none is, the platform has no such thing, or the user
// may not open it. The mount is looked up once for the run, so the device is
// still known after its disc has been taken out and unmounted.
const char* disc_mounted_device(const char* directory);

// Owned by the platform layer; one listing is open at a time.
struct DiscDirectory;

// Lists the directory path (which may end in a separator); nullptr when it
// cannot be listed or another listing is open.
DiscDirectory* disc_directory_open(const char* path);

// The next entry's name, valid until the next call; nullptr after the last.
// "." and ".." are left out.
const char* disc_directory_next(DiscDirectory* directory);

void disc_directory_close(DiscDirectory* directory);
