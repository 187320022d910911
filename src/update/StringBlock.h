#pragma once
// The string-table block of the program's resources. Strings are grouped in
// blocks of 16 consecutive ids: block b (counted from 1) holds the ids
// 16*(b-1) to 16*(b-1)+15. A block is 16 entries in order, each a 16-bit
// count n followed by n UTF-16 units without terminator; a count of 0 marks
// an absent string. Counts and units are little-endian, as on every machine
// the program and its tests run on.

#include <cstddef>

enum { kStringsPerBlock = 16 };

// Resource name of the block that holds `id`: (id >> 4) + 1, taken as a
// 16-bit value (0 for the ids whose block number wraps, which no block has).
unsigned stringBlockNumber(unsigned id);

// Position of `id` within its block, 0 to 15.
unsigned stringBlockPosition(unsigned id);

// Walks the block (cbBlock bytes at pBlock) entry by entry, counting every
// entry, empty ones included, and copies the string at position nPos into
// pDst, a buffer of cchDst 16-bit units: exactly the string's units and no
// terminator, so the units after them keep what the caller put there.
// Returns 1 when the string was copied. Returns 0, with pDst untouched, when
// the entry is empty, nPos is beyond 15, the block ends before the entry is
// complete (nothing past cbBlock is ever read), or the string would not
// leave room for a terminator within cchDst units.
int copyBlockString(const void* pBlock, std::size_t cbBlock, unsigned nPos, void* pDst, std::size_t cchDst);
