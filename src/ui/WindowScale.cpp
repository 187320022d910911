#include "ui/WindowScale.h"

namespace {

// The template's rectangles in dialog units (left, top, width, height).
struct UnitRect {
    int x, y, cx, cy;
};
const UnitRect kUnits[] = {
    {0, 0, 332, 150},   // client area
    {19, 37, 267, 17},  // status line, control 1002
    {15, 65, 302, 22},  // progress bar, control 1000
    {265, 125, 59, 20}, // Cancel, control 2
};

// Dialog units to pixels: 1.5 pixels per unit at 96 DPI is dpi / 64.
int unitsToPixels(int units, unsigned dpi)
{
    return static_cast<int>((static_cast<long long>(units) * dpi + 32) / 64);
}

} // namespace

PixelRect updateWindowRect(WindowPart part, unsigned dpi)
{
    if (dpi == 0)
        dpi = 96;
    const UnitRect& u = kUnits[static_cast<int>(part)];
    return PixelRect{unitsToPixels(u.x, dpi), unitsToPixels(u.y, dpi), unitsToPixels(u.x + u.cx, dpi),
                     unitsToPixels(u.y + u.cy, dpi)};
}

int artScaleFor(unsigned dpi)
{
    for (int scale : kArtScales)
        if (static_cast<long long>(dpi) * 100 <= static_cast<long long>(scale) * 96)
            return scale;
    return kArtScales[sizeof kArtScales / sizeof kArtScales[0] - 1];
}

unsigned scaledArtId(unsigned id, int scale)
{
    return scale == 100 ? id : id + 10u * static_cast<unsigned>(scale);
}

int scaleForDpi(int value, unsigned dpi)
{
    long long scaled = static_cast<long long>(value) * (dpi ? dpi : 96);
    return static_cast<int>(scaled >= 0 ? (scaled + 48) / 96 : (scaled - 48) / 96);
}

std::uint64_t CEventThrottle::delayBefore(std::uint64_t nowMs)
{
    if (m_raised && nowMs - m_last < m_period)
        return m_period - (nowMs - m_last);
    m_raised = true;
    m_last = nowMs;
    return 0;
}
