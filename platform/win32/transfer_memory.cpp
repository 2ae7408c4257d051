// The transfer block on Windows: committed virtual memory, page aligned by nature.
#include "platform/transfer_memory.h"

#include <windows.h>

unsigned char* transfer_memory_get(uint32_t size)
{
    return static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
}

void transfer_memory_release(unsigned char* block, uint32_t size)
{
    (void)size;  // a release frees the whole allocation
    if (block != nullptr)
        VirtualFree(block, 0, MEM_RELEASE);
}
