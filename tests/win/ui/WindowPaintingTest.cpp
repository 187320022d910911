#include "ui/WindowPainting.h"

#include "common/Handles.h"
#include "resource.h"
#include "ui/WindowScale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

namespace {

constexpr COLORREF kSentinel = RGB(1, 2, 3);

// A top-down 32-bit picture on a memory context: the target of the painting,
// with its pixels readable.
class CCanvas {
public:
    CCanvas(int w, int h, COLORREF fill = kSentinel) : m_w(w), m_h(h), m_dc(nullptr)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        m_bitmap.reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_bits = static_cast<uint32_t*>(bits);
        m_old = SelectObject(m_dc.get(), m_bitmap.get());
        for (int i = 0; i < w * h; ++i)
            m_bits[i] = toPixel(fill);
    }
    ~CCanvas() { SelectObject(m_dc.get(), m_old); }
    HDC dc() const { return m_dc.get(); }
    COLORREF at(int x, int y) const
    {
        GdiFlush();
        uint32_t p = m_bits[y * m_w + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    int width() const { return m_w; }
    int height() const { return m_h; }

private:
    static uint32_t toPixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
    int m_w, m_h;
    CMemDCOwner m_dc;
    CBitmapOwner m_bitmap;
    uint32_t* m_bits = nullptr;
    HGDIOBJ m_old = nullptr;
};

// A 2 x 2 picture of four dark colours; stretched, each fills a quarter.
const COLORREF kQuarter[2][2] = {{RGB(10, 20, 30), RGB(40, 50, 60)}, {RGB(70, 80, 90), RGB(100, 110, 120)}};

HBITMAP makeQuarters()
{
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, -2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* b = static_cast<uint8_t*>(bits);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            uint8_t* p = b + y * 8 + x * 3; // rows padded to 8 bytes
            p[0] = GetBValue(kQuarter[y][x]);
            p[1] = GetGValue(kQuarter[y][x]);
            p[2] = GetRValue(kQuarter[y][x]);
        }
    return bmp;
}

// A hidden borderless window with a client area of w x h and a hidden
// placeholder child at `place`, like the update window's status edit.
class CTestWindow {
public:
    CTestWindow(int w, int h, RECT place)
    {
        m_hwnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 50, 60, w, h, nullptr, nullptr, nullptr, nullptr);
        m_place =
            CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_READONLY | ES_AUTOHSCROLL, place.left, place.top,
                            place.right - place.left, place.bottom - place.top, m_hwnd, nullptr, nullptr, nullptr);
    }
    ~CTestWindow() { DestroyWindow(m_hwnd); }
    HWND m_hwnd;
    HWND m_place;
};

constexpr int kW = 400, kH = 200;
const RECT kPlace = {20, 30, 220, 70};

COLORREF expectedBackground(int x, int y)
{
    return kQuarter[y * 2 / kH][x * 2 / kW];
}

// Where the painting left anything other than the stretched quarters.
struct Marks {
    RECT box = {INT_MAX, INT_MAX, -1, -1}; // inclusive bounds of changed pixels
    int changed = 0;
    int inTextColour = 0;
};

Marks findMarks(const CCanvas& c)
{
    Marks m;
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            COLORREF p = c.at(x, y);
            if (p == expectedBackground(x, y))
                continue;
            ++m.changed;
            m.inTextColour += p == kStatusTextColor;
            m.box = {std::min<LONG>(m.box.left, x), std::min<LONG>(m.box.top, y), std::max<LONG>(m.box.right, x),
                     std::max<LONG>(m.box.bottom, y)};
        }
    return m;
}

TEST(WindowPainting, StretchesThePictureOverTheWholeClientAreaAndKeepsAnEmptyLineEmpty)
{
    CTestWindow wnd(kW, kH, kPlace);
    CBitmapOwner picture(makeQuarters());
    CCanvas canvas(kW, kH);
    ASSERT_TRUE(paintUpdateBackground(canvas.dc(), wnd.m_hwnd, picture.get()));
    drawStatusText(canvas.dc(), kPlace, L"", 96);
    Marks m = findMarks(canvas);
    EXPECT_EQ(m.changed, 0) << "first stray pixel at " << m.box.left << "," << m.box.top;
    EXPECT_EQ(canvas.at(0, 0), kQuarter[0][0]);
    EXPECT_EQ(canvas.at(kW - 1, kH - 1), kQuarter[1][1]);
    EXPECT_EQ(GetBkMode(canvas.dc()), TRANSPARENT);
    EXPECT_EQ(GetTextColor(canvas.dc()), kStatusTextColor);
}

struct TextCase {
    const wchar_t* text;
    bool reachesRightEdge; // cut at the rectangle's right edge
    bool secondLine;       // drawn on a second line
};

class StatusText : public ::testing::TestWithParam<TextCase> {};

TEST_P(StatusText, IsDrawnInItsColourInsideThePlaceholderOnly)
{
    const TextCase& tc = GetParam();
    CTestWindow wnd(kW, kH, kPlace);
    CBitmapOwner picture(makeQuarters());
    CCanvas canvas(kW, kH);
    ASSERT_TRUE(paintUpdateBackground(canvas.dc(), wnd.m_hwnd, picture.get()));
    drawStatusText(canvas.dc(), kPlace, tc.text, 96);
    Marks m = findMarks(canvas);
    ASSERT_GT(m.changed, 0);
    EXPECT_GT(m.inTextColour, 10) << "the text's own colour shows";
    EXPECT_GE(m.box.left, kPlace.left);
    EXPECT_GE(m.box.top, kPlace.top);
    EXPECT_LT(m.box.right, kPlace.right);
    EXPECT_LT(m.box.bottom, kPlace.bottom);
    EXPECT_LT(m.box.left, kPlace.left + 4) << "left-aligned";
    EXPECT_LT(m.box.top, kPlace.top + 8) << "top-aligned";
    if (tc.reachesRightEdge)
        EXPECT_GE(m.box.right, kPlace.right - 6) << "a long line runs to the edge and is cut there";
    else
        EXPECT_LT(m.box.right, kPlace.right - 40);
    if (tc.secondLine)
        EXPECT_GT(m.box.bottom, kPlace.top + 22) << "the line break starts a second line";
    else
        EXPECT_LE(m.box.bottom, kPlace.top + 20) << "no word wrapping";
}

INSTANTIATE_TEST_SUITE_P(Cases, StatusText,
                         ::testing::Values(TextCase{L"Connecting", false, false},
                                           TextCase{L"Downloading the latest update of every product, please wait",
                                                    true, false},
                                           TextCase{L"One\nTwo\nThree\nFour", false, true}));

// The status text's height follows the DPI: at 192 twice what it is at 96.
TEST(WindowPainting, TheStatusTextGrowsWithTheDpi)
{
    auto inkHeight = [](unsigned dpi) {
        CTestWindow wnd(kW, kH, kPlace);
        CBitmapOwner picture(makeQuarters());
        CCanvas canvas(kW, kH);
        EXPECT_TRUE(paintUpdateBackground(canvas.dc(), wnd.m_hwnd, picture.get()));
        drawStatusText(canvas.dc(), RECT{0, 0, kW, kH}, L"Hd", dpi);
        Marks m = findMarks(canvas);
        return m.box.bottom - m.box.top + 1;
    };
    int at96 = inkHeight(96), at144 = inkHeight(144), at192 = inkHeight(192);
    EXPECT_GT(at96, 8);
    EXPECT_NEAR(at144, at96 * 3 / 2, 2);
    EXPECT_NEAR(at192, at96 * 2, 2);
}

TEST(WindowPainting, WithoutAPictureFallsToDefault)
{
    CTestWindow wnd(kW, kH, kPlace);
    CCanvas canvas(kW, kH);
    EXPECT_FALSE(paintUpdateBackground(canvas.dc(), wnd.m_hwnd, nullptr));
    CBitmapOwner picture(makeQuarters());
    EXPECT_FALSE(paintUpdateBackground(nullptr, wnd.m_hwnd, picture.get()));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(canvas.at(x, y), kSentinel) << x << "," << y;
}

// Each scale of the picture fills the client area the layout gives its
// DPI exactly, and leaves the status line and the progress bar dark there.
TEST(WindowPainting, TheBackgroundAtEachScaleFitsItsLayoutAndLeavesTheStatusAndProgressAreasDark)
{
    for (unsigned dpi : {96u, 144u, 192u}) {
        UINT id = scaledArtId(IDB_BACKGROUND, artScaleFor(dpi));
        CBitmapOwner picture(static_cast<HBITMAP>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        ASSERT_TRUE(picture) << id;
        BITMAP bm = {};
        ASSERT_TRUE(GetObjectA(picture.get(), sizeof bm, &bm));
        PixelRect client = updateWindowRect(WindowPart::Client, dpi);
        EXPECT_EQ(bm.bmWidth, client.width()) << dpi;
        EXPECT_EQ(bm.bmHeight, client.height()) << dpi;
        EXPECT_EQ(bm.bmBitsPixel, 24);

        CTestWindow wnd(client.width(), client.height(), kPlace);
        CCanvas canvas(client.width(), client.height());
        ASSERT_TRUE(paintUpdateBackground(canvas.dc(), wnd.m_hwnd, picture.get()));
        for (WindowPart part : {WindowPart::Status, WindowPart::Progress}) {
            PixelRect r = updateWindowRect(part, dpi);
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x) {
                    COLORREF p = canvas.at(x, y);
                    ASSERT_TRUE(GetRValue(p) < 40 && GetGValue(p) < 70 && GetBValue(p) < 110)
                        << "too light for the status text at " << x << "," << y << " at " << dpi;
                }
        }
    }
}

TEST(WindowPainting, TheMinimisedIconIsCentredInTheClientArea)
{
    CTestWindow wnd(200, 160, kPlace);
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_TRUE(icon);
    CCanvas canvas(200, 160);
    paintMinimizedIcon(wnd.m_hwnd, canvas.dc(), icon);
    int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    RECT box = {INT_MAX, INT_MAX, -1, -1};
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 200; ++x)
            if (canvas.at(x, y) != kSentinel)
                box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x),
                       std::max<LONG>(box.bottom, y)};
    EXPECT_EQ(box.left, (200 - cx + 1) / 2);
    EXPECT_EQ(box.top, (160 - cy + 1) / 2);
    EXPECT_EQ(box.right, (200 - cx + 1) / 2 + cx - 1);
    EXPECT_EQ(box.bottom, (160 - cy + 1) / 2 + cy - 1);
}

TEST(WindowPainting, OnlyTheSixteenIdsFrom0x10OpenTheAboutBox)
{
    for (UINT id = 0; id < 0x40; ++id)
        EXPECT_EQ(isAboutCommand(id), id >= 0x10 && id <= 0x1F) << id;
    for (UINT id : {UINT{SC_CLOSE}, UINT{SC_MINIMIZE}, UINT{SC_MOVE}, UINT{SC_RESTORE}, UINT{SC_KEYMENU}})
        EXPECT_FALSE(isAboutCommand(id)) << id;
}

} // namespace
