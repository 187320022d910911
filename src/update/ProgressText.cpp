#include "update/ProgressText.h"

#include "common/FixedBuf.h"

std::uint32_t limitStatusCode(std::uint32_t code)
{
    return code == 0 || code > 25 ? static_cast<std::uint32_t>(kBindStatusOther) : code;
}

unsigned progressPercent(std::uint32_t progress, std::uint32_t progressMax)
{
    if (progressMax == 0)
        return 0;
    return static_cast<unsigned>(static_cast<std::uint64_t>(progress) * 100u / progressMax);
}

bool formatProgressText(char* out, std::size_t cap, std::uint32_t progress, std::uint32_t progressMax)
{
    // The shifted values fit an int, so "%d" prints them as they are.
    return formatBounded(out, cap, "%d K / %d K", static_cast<int>(progress >> 10),
                         static_cast<int>(progressMax >> 10));
}

bool CProgressPace::due(std::uint32_t statusCode, std::uint64_t nowMs)
{
    if (m_bAny && statusCode == m_nStatus && nowMs >= m_nLastMs && nowMs - m_nLastMs < m_nPeriodMs)
        return false;
    m_bAny = true;
    m_nStatus = statusCode;
    m_nLastMs = nowMs;
    return true;
}
