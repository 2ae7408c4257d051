// The transfer block on POSIX: an anonymous mapping, page aligned by nature.
#include "platform/transfer_memory.h"

#include <sys/mman.h>

unsigned char* transfer_memory_get(uint32_t size)
{
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : static_cast<unsigned char*>(block);
}

void transfer_memory_release(unsigned char* block, uint32_t size)
{
    if (block != nullptr)
        munmap(block, size);
}
