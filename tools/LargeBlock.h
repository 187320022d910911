#pragma once
// Large zero-filled blocks of memory for the registry export reader's arena
// (RegExport.h): on Linux with the advice to back them with huge pages, so
// that a whole-machine export costs a few hundred page faults instead of
// tens of thousands. The platform parts live in LargeBlock_host.cpp and
// LargeBlock_win.cpp.

#include <cstddef>

// A block of size bytes, nullptr when there is no memory.
void* allocateLargeBlock(std::size_t size);
// Gives back a block allocateLargeBlock returned, with its size.
void freeLargeBlock(void* block, std::size_t size);
