// Destination parts: created, reopened for the header rewrite, written and closed.
#pragma once
#include <cstdint>

constexpr int NO_DEST = -1;

// True when something of exactly that name exists, a file or a directory.
bool dest_exists(const char* path);

// Opens path write-only, created if absent and truncated if present.
// Returns a descriptor, or NO_DEST.
int dest_create(const char* path);

// Opens an existing path write-only, neither created nor truncated,
// positioned at its start. Returns a descriptor, or NO_DEST.
int dest_reopen(const char* path);

// Writes count bytes; returns the number written (count means success).
uint32_t dest_write(int dest, const void* buffer, uint32_t count);

// Flushes what was written to stable storage and closes the part. Returns
// false when the flush or the close failed: then the data may never reach
// the disk, and the part must not be reported as written.
bool dest_close(int dest);

// Makes the names of the parts created in path's directory survive a power
// cut, where the platform keeps names apart from data. False on failure.
bool dest_sync_directory(const char* path);
