// Re-reading a chunk that came up short, one sector at a time.
#pragma once
#include <cstdint>

struct SourceFile;

// Re-reads attempted per sector after its first read.
constexpr int MAX_SECTOR_RETRIES = 3;

// Reads the chunk at part_offset again sector by sector, each sector
// positioned afresh and tried up to 1 + MAX_SECTOR_RETRIES times. Stops at the
// first sector that stays unreadable. Returns the number of good bytes at the
// start of buffer, always whole sectors.
uint32_t read_chunk_recover(SourceFile* source, unsigned char* buffer, uint32_t chunk_len, uint64_t part_offset);
