#include "LargeBlock.h"

#include <windows.h>

void* allocateLargeBlock(std::size_t size)
{
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void freeLargeBlock(void* block, std::size_t)
{
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}
