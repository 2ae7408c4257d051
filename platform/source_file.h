// Source parts: tested for existence, opened for reading around the system cache,
// sized, positioned, read into the sector-aligned transfer buffer and closed.
#pragma once
#include <cstdint>

// Owned by the platform layer; callers only pass it back.
struct SourceFile;

// True when something of that name exists, a file or a directory. Where a
// disc shows its names in another letter case than the tool asks for, the
// platform may find the part under that spelling; source_open agrees.
bool source_exists(const char* path);

// Opens an existing file for reading; nullptr when it cannot be opened.
SourceFile* source_open(const char* path);

// The part's size in bytes.
uint64_t source_size(SourceFile* file);

// Places the next read at an absolute offset from the start of the part.
void source_seek(SourceFile* file, uint64_t offset);

// Reads up to count bytes at the current position into buffer, which is
// sector aligned and has room for count rounded up to a whole sector.
// Returns the count delivered: count means success, anything less means the
// read failed or the part ended.
uint32_t source_read(SourceFile* file, void* buffer, uint32_t count);

void source_close(SourceFile* file);

// True when path already names the very file that source reads, so that
// creating a destination part under that name would truncate the data still
// to be copied.
bool dest_is_source(const char* path, SourceFile* source);
