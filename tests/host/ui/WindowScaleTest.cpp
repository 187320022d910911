#include "ui/WindowScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

// At every DPI the window is the picture's size at that DPI (so the
// picture is copied, never squeezed), its proportions are the picture's,
// and the picture shown is the nearest drawn scale not below the DPI's.
TEST(WindowScale, ClientAreaAndPictureScaleFollowTheDpi)
{
    const struct {
        unsigned dpi;
        int width, height, artScale;
    } cases[] = {
        {0, 498, 225, 100},   {72, 374, 169, 100},  {96, 498, 225, 100},  {120, 623, 281, 150},
        {144, 747, 338, 150}, {168, 872, 394, 200}, {192, 996, 450, 200}, {288, 1494, 675, 200},
    };
    for (const auto& c : cases) {
        PixelRect client = updateWindowRect(WindowPart::Client, c.dpi);
        EXPECT_EQ(client.left, 0);
        EXPECT_EQ(client.top, 0);
        EXPECT_EQ(client.width(), c.width) << c.dpi;
        EXPECT_EQ(client.height(), c.height) << c.dpi;
        EXPECT_NEAR(double(client.width()) / client.height(), 498.0 / 225.0, 0.01) << c.dpi;
        EXPECT_EQ(artScaleFor(c.dpi), c.artScale) << c.dpi;
    }
}

// The controls keep their places on the picture at every DPI: inside the
// client area, at the 96-DPI place times the scale (a pixel of rounding).
TEST(WindowScale, ControlsKeepTheirPlacesOnThePicture)
{
    for (unsigned dpi : {72u, 120u, 144u, 192u, 288u})
        for (WindowPart part : {WindowPart::Status, WindowPart::Progress, WindowPart::Cancel}) {
            PixelRect at96 = updateWindowRect(part, 96), r = updateWindowRect(part, dpi);
            double scale = dpi / 96.0;
            EXPECT_LE(std::abs(r.left - at96.left * scale), 1.0 + scale) << dpi;
            EXPECT_LE(std::abs(r.bottom - at96.bottom * scale), 1.0 + scale) << dpi;
            EXPECT_LE(r.right, updateWindowRect(WindowPart::Client, dpi).right) << dpi;
        }
    EXPECT_EQ(scaledArtId(134, 150), 1634u);
}

// A burst of value changes is told at most once per period; each one held
// back learns how long to wait, so the last is told when its time comes.
TEST(WindowScale, EventThrottleLetsOneThroughPerPeriod)
{
    CEventThrottle throttle(100);
    const struct {
        std::uint64_t now, wait;
    } steps[] = {{1000, 0}, {1001, 99}, {1050, 50}, {1099, 1}, {1100, 0}, {1150, 50}, {1300, 0}, {1300, 100}};
    for (const auto& s : steps)
        EXPECT_EQ(throttle.delayBefore(s.now), s.wait) << s.now;
}

} // namespace
