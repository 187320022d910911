#include "ui/SkinProgressCtrl.h"

#include "UiTestWindows.h"

#include <gtest/gtest.h>

namespace {

const COLORREF kFillText = RGB(0, 1, 128);
const COLORREF kRestText = RGB(91, 182, 229);

// Counts the paint requests that reach the control.
class CCountingProgress : public CSkinProgressCtrl {
public:
    int m_nPaints = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++m_nPaints;
        return CSkinProgressCtrl::WindowProc(message, wParam, lParam);
    }
};

// Squared distance of two 0x00RRGGBB values.
int distance2(unsigned a, unsigned b)
{
    int d = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int c = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        d += c * c;
    }
    return d;
}

struct TextSides {
    int solidLeft = 0;
    int solidRight = 0;
};

// Compares a painting with text to the same painting without: each changed
// pixel left of `edge` must have moved toward `left`, each one right of it
// toward `right`. Counts the pixels of exactly those colours.
TextSides textSides(const Pixels& plain, const Pixels& text, int edge, unsigned left, unsigned right)
{
    TextSides sides;
    for (int y = 0; y < text.height; ++y) {
        for (int x = 0; x < text.width; ++x) {
            unsigned before = plain.at(x, y);
            unsigned now = text.at(x, y);
            if (now == before)
                continue;
            unsigned want = x < edge ? left : right;
            EXPECT_LT(distance2(now, want), distance2(before, want)) << "text pixel at " << x << "," << y;
            if (now == want)
                ++(x < edge ? sides.solidLeft : sides.solidRight);
        }
    }
    return sides;
}

// A progress bar of 451 pixels client width (453 with its border), as in
// the update window.
class SkinProgress : public ::testing::Test {
protected:
    void SetUp() override
    {
        HWND hwnd = createChild(m_parent.m_hWnd, PROGRESS_CLASSW, WS_BORDER | PBS_SMOOTH, 20, 40, 453, 34);
        ASSERT_TRUE(hwnd);
        ASSERT_TRUE(m_bar.SubclassWindow(hwnd));
        settle();
    }
    void TearDown() override { m_parent.clear(); }
    // Lets every pending paint happen, then starts counting afresh.
    void settle()
    {
        UpdateWindow(m_parent.m_hWnd);
        pumpMessages(30);
        m_bar.m_nPaints = 0;
    }
    bool hasPendingPaint() const { return GetUpdateRect(m_bar.m_hWnd, nullptr, FALSE) != 0; }
    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return m_bar.SendMessage(message, wParam, lParam);
    }
    Pixels paintedPixels()
    {
        m_bar.Invalidate();
        UpdateWindow(m_bar.m_hWnd);
        return captureClient(m_bar.m_hWnd);
    }

    CTestParent& m_parent = testParent();
    CCountingProgress m_bar;
};

TEST_F(SkinProgress, PositionMessagesAnswerFromTheControlsOwnState)
{
    EXPECT_EQ(send(PBM_GETPOS), 0);
    EXPECT_EQ(send(PBM_SETPOS, 40), 0) << "returns the previous position";
    EXPECT_EQ(send(PBM_SETPOS, 70), 40);
    EXPECT_EQ(send(PBM_GETPOS), 70);
    EXPECT_EQ(send(PBM_DELTAPOS, 5), 70);
    EXPECT_EQ(send(PBM_GETPOS), 75);
    EXPECT_EQ(send(PBM_SETPOS, 250), 75);
    EXPECT_EQ(send(PBM_GETPOS), 250) << "stored unchanged, not clamped";

    EXPECT_EQ(send(PBM_SETSTEP, 10), 1) << "the step starts at 1";
    EXPECT_EQ(send(PBM_SETSTEP, 1), 10);
    send(PBM_SETPOS, 100);
    EXPECT_EQ(send(PBM_STEPIT), 100);
    EXPECT_EQ(send(PBM_GETPOS), 101) << "no wrap to the lower bound";
}

TEST_F(SkinProgress, RangesArePackedAndStoredWithoutRepaint)
{
    EXPECT_EQ(send(PBM_GETRANGE, TRUE), 0);
    EXPECT_EQ(send(PBM_GETRANGE, FALSE), 100);

    struct {
        LPARAM packed;
        int lower, upper;
    } const cases[] = {
        {MAKELPARAM(0, 200), 0, 200},
        {MAKELPARAM(10, 20), 10, 20},
        {MAKELPARAM(0xFFFF, 0x8000), 65535, 32768}, // both words unsigned
    };
    for (const auto& c : cases) {
        send(PBM_SETRANGE, 0, c.packed);
        PBRANGE range = {-1, -1};
        EXPECT_EQ(send(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), c.lower);
        EXPECT_EQ(send(PBM_GETRANGE, FALSE), c.upper);
        EXPECT_EQ(range.iLow, c.lower);
        EXPECT_EQ(range.iHigh, c.upper);
    }
    send(PBM_SETRANGE32, static_cast<WPARAM>(-50), 50);
    EXPECT_EQ(send(PBM_GETRANGE, TRUE), -50);
    EXPECT_EQ(send(PBM_GETRANGE, FALSE), 50);
    EXPECT_FALSE(hasPendingPaint());
    EXPECT_EQ(m_bar.m_nPaints, 0);
}

TEST_F(SkinProgress, ColourMessagesReturnThePreviousColourAndRepaint)
{
    for (UINT message : {UINT(PBM_SETBARCOLOR), UINT(PBM_SETBKCOLOR), PBM_SETTEXTCOLOR}) {
        settle();
        EXPECT_EQ(static_cast<COLORREF>(send(message, 0, RGB(1, 2, 3))), CLR_DEFAULT) << message;
        EXPECT_TRUE(hasPendingPaint()) << message;
        EXPECT_EQ(static_cast<COLORREF>(send(message, 0, CLR_DEFAULT)), RGB(1, 2, 3)) << message;
    }
    settle();
    send(PBM_SHOWTEXT, TRUE);
    EXPECT_FALSE(hasPendingPaint()) << "the flag already stored";
    send(PBM_SHOWTEXT, FALSE);
    EXPECT_TRUE(hasPendingPaint());
    EXPECT_NE(send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(GetDC(nullptr))), 0);
}

TEST_F(SkinProgress, RepaintsOnlyWhenTheFillEdgeMoves)
{
    send(PBM_SETRANGE32, 0, 1000);
    settle();
    send(PBM_SETPOS, 500); // trunc(225.5)
    EXPECT_EQ(m_bar.m_nPaints, 1) << "repainted before PBM_SETPOS returned";
    EXPECT_EQ(m_bar.getDrawnFillWidth(), 225);
    send(PBM_SETPOS, 501); // trunc(225.95): the same width
    EXPECT_EQ(m_bar.m_nPaints, 1);
    send(PBM_SETPOS, 503); // 226
    EXPECT_EQ(m_bar.m_nPaints, 2);

    RECT rc;
    m_bar.GetClientRect(&rc);
    send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.right, rc.bottom));
    EXPECT_EQ(m_bar.getDrawnFillWidth(), -1);
    send(PBM_SETPOS, 503);
    EXPECT_EQ(m_bar.m_nPaints, 3) << "the first position after a resize always repaints";

    send(PBM_SETPOS, 2000); // past the end: drawn as full, once
    send(PBM_SETPOS, 3000);
    EXPECT_EQ(m_bar.m_nPaints, 4);
    EXPECT_EQ(m_bar.getDrawnFillWidth(), 451);
}

TEST_F(SkinProgress, HalfwayBarShowsFillToPixel225AndTwoColouredText)
{
    RECT rc;
    m_bar.GetClientRect(&rc);
    ASSERT_EQ(rc.right, 451);
    send(PBM_SETPOS, 50);
    m_bar.setText("MMMMMMMMMMMMMMMMMMMMMMMM");
    send(PBM_SHOWTEXT, FALSE);
    Pixels plain = paintedPixels();
    // Above the text line: light fill up to column 224, the dark track from 225.
    const int row = 4;
    for (int x = 2; x < 225; ++x)
        ASSERT_GT(brightness(plain.at(x, row)), 150) << "fill at " << x;
    for (int x = 225; x < 449; ++x)
        ASSERT_LT(brightness(plain.at(x, row)), 80) << "track at " << x;

    // The text is drawn with the system font, which may be smoothed: every
    // changed pixel must lean toward its side's colour, and the glyphs' solid
    // pixels have exactly that colour.
    send(PBM_SHOWTEXT, TRUE);
    TextSides sides = textSides(plain, paintedPixels(), 225, rgbOf(kFillText), rgbOf(kRestText));
    EXPECT_GT(sides.solidLeft, 20) << "solid text pixels left of the fill edge";
    EXPECT_GT(sides.solidRight, 20) << "solid text pixels right of the fill edge";

    // A text colour colours both halves.
    send(PBM_SETTEXTCOLOR, 0, RGB(255, 0, 0));
    TextSides red = textSides(plain, paintedPixels(), 225, 0xFF0000u, 0xFF0000u);
    EXPECT_GT(red.solidLeft, 20);
    EXPECT_GT(red.solidRight, 20);
}

TEST_F(SkinProgress, PartialRepaintMatchesTheWholePicture)
{
    // Uncovering part of the bar repaints only that part, through a buffer
    // placed at the part's corner: the text must still split at the edge.
    send(PBM_SETPOS, 50);
    m_bar.setText("MMMMMMMMMMMMMMMMMMMMMMMM");
    Pixels whole = paintedPixels();
    RECT part = {150, 3, 400, 30};
    InvalidateRect(m_bar.m_hWnd, &part, FALSE);
    UpdateWindow(m_bar.m_hWnd);
    Pixels again = captureClient(m_bar.m_hWnd);
    int differing = 0;
    for (size_t i = 0; i < whole.data.size(); ++i)
        differing += whole.data[i] != again.data[i];
    EXPECT_EQ(differing, 0);
}

TEST_F(SkinProgress, FullAndEmptyBars)
{
    send(PBM_SHOWTEXT, FALSE);
    send(PBM_SETPOS, 100);
    Pixels full = paintedPixels();
    send(PBM_SETPOS, 0);
    Pixels empty = paintedPixels();
    for (int x = 2; x < 449; ++x) {
        ASSERT_GT(brightness(full.at(x, 4)), 150) << x;
        ASSERT_LT(brightness(empty.at(x, 4)), 80) << x;
    }
}

TEST_F(SkinProgress, InvertedRangeNeitherPaintsNorLoops)
{
    send(PBM_SETRANGE32, 10, 0);
    EXPECT_EQ(send(PBM_SETPOS, 5), 0) << "no division by zero, previous position returned";
    send(PBM_SETRANGE32, 7, 7);
    EXPECT_EQ(send(PBM_SETPOS, 9), 5);
    settle();
    m_bar.Invalidate();
    UpdateWindow(m_bar.m_hWnd);
    EXPECT_EQ(m_bar.m_nPaints, 1);
    EXPECT_FALSE(hasPendingPaint()) << "the paint request is completed";
    pumpMessages(100);
    EXPECT_EQ(m_bar.m_nPaints, 1) << "and not delivered again";
}

TEST(SkinProgressWithoutWindow, SetPosReturnsMinusOneAndStoresNothing)
{
    CSkinProgressCtrl bar;
    EXPECT_EQ(bar.WindowProc(PBM_SETPOS, 30, 0), -1);
    EXPECT_EQ(bar.WindowProc(PBM_STEPIT, 0, 0), -1);
    EXPECT_EQ(bar.WindowProc(PBM_GETPOS, 0, 0), 0);
    bar.setText("no window"); // stores the text, repaints nothing
    EXPECT_STREQ(bar.getText(), "no window");
}

} // namespace

namespace {

// The program asks for the visual-styles common controls in its manifest;
// the tests' manifest does the same, so they run against the same controls:
// the buttons are then comctl32's (version 6), not user32's.
TEST(SkinControlsPlatform, RunsAgainstTheVisualStylesControls)
{
    HMODULE comctl = LoadLibraryW(L"comctl32.dll"); // resolved through the manifest
    ASSERT_TRUE(comctl);
    HWND button = CreateWindowW(L"BUTTON", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(button);
    auto proc = reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(button, GWLP_WNDPROC));
    HMODULE owner = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, proc,
                       &owner);
    EXPECT_EQ(owner, comctl);
    EXPECT_NE(owner, GetModuleHandleW(L"user32.dll"));
    DestroyWindow(button);
    FreeLibrary(comctl);
}

} // namespace
