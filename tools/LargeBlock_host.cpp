#include "LargeBlock.h"

#include <sys/mman.h>

void* allocateLargeBlock(std::size_t size)
{
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return nullptr;
#ifdef MADV_HUGEPAGE
    // Advice only: where huge pages are off, the block is made of small ones.
    (void)madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void freeLargeBlock(void* block, std::size_t size)
{
    if (block)
        munmap(block, size);
}
