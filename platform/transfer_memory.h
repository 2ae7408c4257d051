// The page-aligned block that every source read and destination write goes through.
#pragma once
#include <cstdint>

// Returns a page-aligned block of size bytes, or nullptr.
unsigned char* transfer_memory_get(uint32_t size);

void transfer_memory_release(unsigned char* block, uint32_t size);
