#pragma once
// The update window's geometry at any DPI, and the pace of what it tells
// assistive technology. Portable: no window is needed to decide either.
//
// The pictures are designed at 96 DPI for a client area of 498 x 225 pixels,
// one and a half pixels per dialog unit of the window's template. The window
// is sized from the pictures, not from the dialog font, so it keeps their
// proportions whatever the font's metrics (a Japanese dialog font has
// taller dialog units than a Western one).

#include <cstdint>

// A rectangle in client pixels.
struct PixelRect {
    int left, top, right, bottom;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// The parts of the update window that the layout places.
enum class WindowPart { Client, Status, Progress, Cancel };

// Where `part` goes at `dpi` (96 when dpi is 0): its template rectangle in
// dialog units at 1.5 pixels per unit times dpi / 96, each edge rounded to
// the nearest pixel. The client rectangle starts at (0, 0).
PixelRect updateWindowRect(WindowPart part, unsigned dpi);

// The scales, in percent, at which the pictures are drawn.
constexpr int kArtScales[] = {100, 150, 200};

// The scale of picture to show at `dpi`: the smallest drawn scale at or
// above dpi / 96, so a picture is at most shrunk (sharp), never enlarged;
// past the largest, the largest.
int artScaleFor(unsigned dpi);

// The resource id of picture `id` drawn at `scale` percent: id itself at
// 100, id + 10 x scale otherwise (134 at 200 % is 2134).
unsigned scaledArtId(unsigned id, int scale);

// `value` pixels at 96 DPI in pixels at `dpi`, rounded to the nearest.
int scaleForDpi(int value, unsigned dpi);

// Lets an event through at most once per period. `delayBefore(now)` is 0
// when one may be raised at `now` (and counts it as raised), otherwise the
// milliseconds to wait before the next may; the caller raises the held-back
// one then, so the last change is never lost.
class CEventThrottle {
public:
    explicit CEventThrottle(std::uint64_t periodMs) : m_period(periodMs) {}
    std::uint64_t delayBefore(std::uint64_t nowMs);

private:
    std::uint64_t m_period;
    std::uint64_t m_last = 0;
    bool m_raised = false;
};
