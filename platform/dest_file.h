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

void dest_close(int dest);
