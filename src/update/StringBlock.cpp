#include "update/StringBlock.h"

#include <cstring>

unsigned stringBlockNumber(unsigned id)
{
    return ((id >> 4) + 1) & 0xFFFFu;
}

unsigned stringBlockPosition(unsigned id)
{
    return id & 15u;
}

int copyBlockString(const void* pBlock, std::size_t cbBlock, unsigned nPos, void* pDst, std::size_t cchDst)
{
    if (!pBlock || !pDst || nPos >= kStringsPerBlock)
        return 0;
    const auto* bytes = static_cast<const unsigned char*>(pBlock);
    std::size_t offset = 0;
    for (unsigned pos = 0; pos < kStringsPerBlock; ++pos) {
        if (cbBlock - offset < 2)
            return 0;
        const std::size_t units = bytes[offset] | (static_cast<std::size_t>(bytes[offset + 1]) << 8);
        offset += 2;
        if (units == 0)
            continue;
        if (units > (cbBlock - offset) / 2)
            return 0;
        if (pos == nPos) {
            if (units >= cchDst)
                return 0;
            std::memcpy(pDst, bytes + offset, units * 2);
            return 1;
        }
        offset += units * 2;
    }
    return 0;
}
