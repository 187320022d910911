#include "ui/SkinButton.h"

#include "TestResources.h"
#include "UiTestWindows.h"
#include "common/Handles.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

const int kWidth = 89; // the face pictures' size
const int kHeight = 30;

class SkinButton : public ::testing::Test {
protected:
    void TearDown() override { m_parent.clear(); }
    // Binds a new child button of `style` at (x, y) to `button`.
    HWND bind(CSkinButton& button, DWORD style, int x = 20, int y = 40, int id = 100)
    {
        HWND hwnd = createChild(m_parent.m_hWnd, L"BUTTON", style, x, y, kWidth, kHeight, id, L"Cancel");
        EXPECT_TRUE(hwnd);
        EXPECT_TRUE(button.SubclassWindow(hwnd));
        return hwnd;
    }
    // The update window's skin, with an empty caption unless one is given.
    void skin(CSkinButton& button, const wchar_t* caption = L"")
    {
        button.setCaption(caption);
        button.setTextColor(RGB(255, 255, 255));
        button.setSkin(IDB_BTN_NORMAL, IDB_BTN_DOWN, IDB_BTN_OVER, 0, 0, 0, 1, 0, 0);
    }
    Pixels painted(HWND hwnd)
    {
        InvalidateRect(hwnd, nullptr, TRUE);
        UpdateWindow(hwnd);
        pumpMessages(20);
        return captureClient(hwnd);
    }
    void press(HWND hwnd, int x, int y) { SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y)); }
    void release(HWND hwnd, int x, int y) { SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }
    void moveWhilePressed(HWND hwnd, int x, int y)
    {
        moveCursorTo(hwnd, x, y);
        SendMessageW(hwnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
    }
    // Parks the cursor over the parent, away from every button.
    void parkCursor() { moveCursorTo(m_parent.m_hWnd, 590, 190); }

    CTestParent& m_parent = testParent();
};

TEST_F(SkinButton, TypeComesFromTheCreationStyle)
{
    struct {
        DWORD style;
        CSkinButton::Type type;
    } const cases[] = {
        {BS_PUSHBUTTON, CSkinButton::TypePush},       {BS_DEFPUSHBUTTON, CSkinButton::TypePush},
        {BS_AUTOCHECKBOX, CSkinButton::TypeCheckBox}, {BS_OWNERDRAW, CSkinButton::TypeCheckBox},
        {BS_AUTORADIOBUTTON, CSkinButton::TypeRadio}, {BS_CHECKBOX, CSkinButton::TypePush},
        {BS_RADIOBUTTON, CSkinButton::TypePush},      {BS_AUTO3STATE, CSkinButton::TypePush},
        {BS_GROUPBOX, CSkinButton::TypeCheckBox},     {BS_3STATE, CSkinButton::TypePush},
    };
    for (const auto& c : cases) {
        CSkinButton button;
        HWND hwnd = bind(button, c.style);
        EXPECT_EQ(button.getType(), c.type) << "style " << c.style;
        EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW) << "style " << c.style;
        DestroyWindow(hwnd);
    }
}

TEST_F(SkinButton, CheckBoxTogglesOnClicksReleasedOverItAndOnSpace)
{
    CSkinButton box;
    HWND hwnd = bind(box, BS_AUTOCHECKBOX);
    skin(box);
    moveCursorTo(hwnd, 10, 10);
    press(hwnd, 10, 10);
    EXPECT_TRUE(box.isTracking());
    EXPECT_EQ(GetCapture(), hwnd);
    release(hwnd, 10, 10);
    EXPECT_FALSE(box.isTracking());
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(m_parent.m_nClicks, 1);

    press(hwnd, 10, 10);
    release(hwnd, 10, 10);
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(m_parent.m_nClicks, 2);

    // Dragged off: the pushed look follows the cursor, and the release
    // outside neither clicks nor toggles.
    press(hwnd, 10, 10);
    EXPECT_TRUE(SendMessageW(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED);
    moveWhilePressed(hwnd, 200, 100);
    EXPECT_FALSE(SendMessageW(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED);
    moveWhilePressed(hwnd, 12, 12);
    EXPECT_TRUE(SendMessageW(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED) << "back over the button";
    moveWhilePressed(hwnd, 200, 100);
    release(hwnd, 200, 100);
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(m_parent.m_nClicks, 2);
    EXPECT_NE(GetCapture(), hwnd);

    SetFocus(hwnd);
    SendMessageW(hwnd, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(hwnd, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(hwnd, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(hwnd, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageW(hwnd, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "only the space key toggles";
}

TEST_F(SkinButton, PushButtonClicksButNeverChecks)
{
    CSkinButton push;
    HWND hwnd = bind(push, BS_PUSHBUTTON, 20, 40, IDCANCEL);
    skin(push);
    moveCursorTo(hwnd, 10, 10);
    press(hwnd, 10, 10);
    release(hwnd, 10, 10);
    EXPECT_EQ(m_parent.m_nClicks, 1);
    EXPECT_EQ(m_parent.m_nLastClickId, IDCANCEL);
    EXPECT_EQ(SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0), 0);
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageW(hwnd, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(SkinButton, DoubleClickCountsAsASecondPress)
{
    CSkinButton box;
    HWND hwnd = bind(box, BS_AUTOCHECKBOX);
    moveCursorTo(hwnd, 10, 10);
    press(hwnd, 10, 10);
    release(hwnd, 10, 10);
    SendMessageW(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_TRUE(box.isTracking());
    EXPECT_EQ(GetCapture(), hwnd);
    release(hwnd, 10, 10);
    EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "two toggles";
    EXPECT_EQ(m_parent.m_nClicks, 2);
}

TEST_F(SkinButton, LosingTheFocusEndsATrackedPress)
{
    CSkinButton push;
    HWND hwnd = bind(push, BS_PUSHBUTTON);
    HWND other = createChild(m_parent.m_hWnd, L"BUTTON", BS_PUSHBUTTON, 300, 40, 80, 30);
    moveCursorTo(hwnd, 10, 10);
    press(hwnd, 10, 10);
    ASSERT_EQ(GetCapture(), hwnd);
    SetFocus(other);
    EXPECT_FALSE(push.isTracking());
    EXPECT_NE(GetCapture(), hwnd);
}

TEST_F(SkinButton, CheckedRadioUnchecksTheRestOfItsGroup)
{
    CSkinButton a, b, c, d;
    HWND ha = bind(a, WS_GROUP | BS_AUTORADIOBUTTON, 10, 10, 101);
    HWND hb = bind(b, BS_AUTORADIOBUTTON, 110, 10, 102);
    HWND hc = bind(c, BS_AUTORADIOBUTTON, 210, 10, 103);
    HWND hd = bind(d, WS_GROUP | BS_AUTORADIOBUTTON, 310, 10, 104); // the next group
    SendMessageW(ha, BM_SETCHECK, 1, 0);
    SendMessageW(hd, BM_SETCHECK, 1, 0);
    pumpMessages(20);
    ASSERT_TRUE(a.isChecked());

    // A click released over b checks it; a is unchecked by the posted message.
    moveCursorTo(hb, 10, 10);
    press(hb, 10, 10);
    release(hb, 10, 10);
    EXPECT_TRUE(b.isChecked());
    pumpMessages(20);
    EXPECT_FALSE(a.isChecked());
    EXPECT_FALSE(c.isChecked());
    EXPECT_TRUE(d.isChecked()) << "another group is left alone";

    // Clicking a checked radio keeps it checked.
    press(hb, 10, 10);
    release(hb, 10, 10);
    EXPECT_TRUE(b.isChecked());

    // The walk ends even when the checked button is not part of it (hidden).
    SendMessageW(ha, BM_SETCHECK, 1, 0);
    pumpMessages(20);
    ShowWindow(hc, SW_HIDE);
    SendMessageW(hc, BM_SETCHECK, 1, 0);
    pumpMessages(20);
    EXPECT_TRUE(c.isChecked());
    EXPECT_FALSE(a.isChecked());
    EXPECT_FALSE(b.isChecked());
    EXPECT_TRUE(d.isChecked());
}

TEST_F(SkinButton, SetSkinClampsItsNumbers)
{
    struct {
        short mode, border, offset;
        short wantMode, wantOffset;
        bool wantBorder;
    } const cases[] = {
        {7, 0, 0, 2, 0, false},
        {-3, 1, 3, 0, 3, true},
        {1, -2, -5, 1, 0, true},
        {2, 0, 4, 2, 4, false},
    };
    CSkinButton button;
    bind(button, BS_PUSHBUTTON);
    EXPECT_EQ(button.getDrawMode(), 1) << "stretched until set";
    for (const auto& c : cases) {
        button.setSkin(IDB_BTN_NORMAL, 0, 0, 0, 0, 0, c.mode, c.border, c.offset);
        EXPECT_EQ(button.getDrawMode(), c.wantMode) << c.mode;
        EXPECT_EQ(button.getFocusOffset(), c.wantOffset) << c.offset;
        EXPECT_EQ(button.hasBorder(), c.wantBorder) << c.border;
    }
}

TEST_F(SkinButton, CaptionAndTextColour)
{
    CSkinButton button;
    EXPECT_EQ(button.setTextColor(RGB(1, 2, 3)), GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(button.setTextColor(RGB(4, 5, 6)), RGB(1, 2, 3));
    std::wstring longText(300, L'x');
    button.setCaption(longText.c_str());
    EXPECT_EQ(std::wcslen(button.getCaption()), 259u);
    button.setCaption(L"Cancel");
    EXPECT_STREQ(button.getCaption(), L"Cancel") << "the whole old caption is cleared";
}

// The faces: a button of the pictures' size shows them pixel for pixel.
TEST_F(SkinButton, FacesForNormalHoverPressedAndChecked)
{
    const Pixels normal = bitmapPixels(IDB_BTN_NORMAL);
    const Pixels over = bitmapPixels(IDB_BTN_OVER);
    const Pixels down = bitmapPixels(IDB_BTN_DOWN);
    ASSERT_EQ(normal.width, kWidth);
    ASSERT_EQ(normal.height, kHeight);

    CSkinButton box;
    HWND hwnd = bind(box, BS_AUTOCHECKBOX);
    skin(box);
    parkCursor();
    EXPECT_EQ(painted(hwnd).data, normal.data) << "idle";

    moveCursorTo(hwnd, 40, 15);
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(40, 15));
    EXPECT_TRUE(box.isHover());
    EXPECT_EQ(painted(hwnd).data, over.data) << "hover";

    parkCursor();
    EXPECT_TRUE(pumpUntil([&] { return !box.isHover(); }, 3000)) << "mouse-leave clears the hover";
    EXPECT_EQ(painted(hwnd).data, normal.data);

    moveCursorTo(hwnd, 40, 15);
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(40, 15));
    press(hwnd, 40, 15);
    EXPECT_FALSE(box.isHover()) << "a press cancels the hover";
    EXPECT_EQ(painted(hwnd).data, down.data) << "pressed";
    moveWhilePressed(hwnd, 200, 100);
    EXPECT_EQ(painted(hwnd).data, normal.data) << "dragged off";
    release(hwnd, 200, 100);

    parkCursor();
    SendMessageW(hwnd, BM_SETCHECK, 1, 0);
    EXPECT_EQ(painted(hwnd).data, down.data) << "checked";
    SendMessageW(hwnd, WM_USER_UNCHECK, 0, 0);
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(painted(hwnd).data, normal.data) << "unchecked";
}

// The focus face shows only while the window's keyboard cues are on, as
// they are once the keyboard is used; the system's own state says so.
TEST_F(SkinButton, FocusFaceFollowsTheKeyboardCues)
{
    const Pixels normal = bitmapPixels(IDB_BTN_NORMAL);
    const Pixels focus = bitmapPixels(IDB_BTN_FOCUS);
    ASSERT_EQ(focus.width, kWidth);
    ASSERT_NE(focus.data, normal.data);

    CSkinButton button;
    HWND hwnd = bind(button, BS_PUSHBUTTON);
    button.setSkin(IDB_BTN_NORMAL, IDB_BTN_DOWN, IDB_BTN_OVER, 0, IDB_BTN_FOCUS, 0, 1, 0, 0);
    parkCursor();
    SetFocus(hwnd);
    ASSERT_EQ(GetFocus(), hwnd);
    EXPECT_EQ(painted(hwnd).data, normal.data) << "focused, before any key";
    MSG tab = {hwnd, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        const Pixels& face;
        const char* what;
    } steps[] = {
        {WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&tab), focus, "a key through the dialog manager"},
        {WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0, normal, "cues hidden again"},
        {WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0, focus, "cues shown"},
        {WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEACCEL), 0, focus, "other cues do not matter"},
    };
    for (const auto& step : steps) {
        SendMessageW(hwnd, step.message, step.wParam, step.lParam);
        EXPECT_EQ(painted(hwnd).data, step.face.data) << step.what;
    }
    SetFocus(m_parent.m_hWnd);
    EXPECT_EQ(painted(hwnd).data, normal.data) << "without the focus";
}

TEST_F(SkinButton, HoverWithoutANormalPictureShowsAPlainFace)
{
    CSkinButton button;
    HWND hwnd = bind(button, BS_PUSHBUTTON);
    button.setSkin(0, IDB_BTN_DOWN, IDB_BTN_OVER, 0, 0, 0, 1, 0, 0);
    moveCursorTo(hwnd, 40, 15);
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(40, 15));
    ASSERT_TRUE(button.isHover());
    Pixels p = painted(hwnd);
    for (unsigned v : p.data)
        ASSERT_EQ(v, rgbOf(GetSysColor(COLOR_BTNFACE)));
}

TEST_F(SkinButton, DisabledShowsTheNormalFaceWithAnEmbossedCaption)
{
    const Pixels normal = bitmapPixels(IDB_BTN_NORMAL);
    CSkinButton button;
    HWND hwnd = bind(button, BS_PUSHBUTTON);
    skin(button);
    button.setTextColor(RGB(255, 0, 0));
    EnableWindow(hwnd, FALSE);
    parkCursor();
    EXPECT_EQ(painted(hwnd).data, normal.data) << "disabled id 0: the normal picture";

    // A font without smoothing, so that every caption pixel has one of the
    // two colours.
    LOGFONTW lf = {};
    lf.lfHeight = -13;
    lf.lfWeight = FW_BOLD;
    lf.lfQuality = NONANTIALIASED_QUALITY;
    lstrcpyW(lf.lfFaceName, L"Tahoma");
    CFontOwner font(CreateFontIndirectW(&lf));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    button.setCaption(L"Cancel");
    Pixels p = painted(hwnd);
    const unsigned highlight = rgbOf(GetSysColor(COLOR_BTNHIGHLIGHT));
    const unsigned grey = rgbOf(GetSysColor(COLOR_GRAYTEXT));
    RECT hi = {1000, 1000, -1, -1}, gr = {1000, 1000, -1, -1};
    auto grow = [](RECT& r, int x, int y) {
        r.left = std::min<LONG>(r.left, x);
        r.top = std::min<LONG>(r.top, y);
        r.right = std::max<LONG>(r.right, x);
        r.bottom = std::max<LONG>(r.bottom, y);
    };
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            unsigned v = p.at(x, y);
            if (v == normal.at(x, y))
                continue;
            ASSERT_TRUE(v == highlight || v == grey) << "caption pixel " << std::hex << v;
            grow(v == highlight ? hi : gr, x, y);
        }
    }
    ASSERT_GE(gr.right, 0) << "grey caption drawn";
    ASSERT_GE(hi.right, 0) << "highlight caption drawn";
    // The highlight copy's right and bottom edges stick out from under the grey one.
    EXPECT_EQ(hi.right - gr.right, 1) << "grey text one pixel left of the highlight";
    EXPECT_EQ(hi.bottom - gr.bottom, 1) << "and one pixel up";
}

TEST_F(SkinButton, MaskShapesTheWindowToItsBlackPart)
{
    struct {
        UINT mask;
        short mode;
        RECT box;       // the region's bounding box
        int regionKind; // what GetWindowRgn reports
        SIZE size;      // the window size afterwards
    } const cases[] = {
        {IDB_TEST_MASK_HALF, 1, {20, 0, 40, 20}, SIMPLEREGION, {kWidth, kHeight}},
        {IDB_TEST_MASK_HALF, 0, {20, 0, 40, 20}, SIMPLEREGION, {40, 20}}, // resized to the mask
        {IDB_TEST_MASK_LASTCOL, 1, {11, 1, 12, 2}, SIMPLEREGION, {kWidth, kHeight}},
        {IDB_TEST_MASK_WHITE, 1, {0, 0, 0, 0}, NULLREGION, {kWidth, kHeight}},
    };
    for (const auto& c : cases) {
        CSkinButton button;
        HWND hwnd = bind(button, BS_PUSHBUTTON);
        button.setSkin(IDB_BTN_NORMAL, IDB_BTN_DOWN, IDB_BTN_OVER, 0, 0, c.mask, c.mode, 0, 0);
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetWindowRgn(hwnd, rgn), c.regionKind) << c.mask;
        RECT box;
        GetRgnBox(rgn, &box);
        if (c.regionKind != NULLREGION) {
            EXPECT_TRUE(EqualRect(&box, &c.box))
                << c.mask << ": " << box.left << "," << box.top << "," << box.right << "," << box.bottom;
            EXPECT_FALSE(PtInRegion(rgn, c.box.left - 1, c.box.top));
        }
        DeleteObject(rgn);
        RECT wr;
        GetWindowRect(hwnd, &wr);
        EXPECT_EQ(wr.right - wr.left, c.size.cx) << c.mask << " mode " << c.mode;
        EXPECT_EQ(wr.bottom - wr.top, c.size.cy) << c.mask << " mode " << c.mode;
        DestroyWindow(hwnd);
    }
}

TEST_F(SkinButton, MaskLetsTheParentShowThroughTheWhitePart)
{
    // Natural size over the 40x20 mask: the face shows in the black right
    // half; the region cuts the left half away.
    const Pixels normal = bitmapPixels(IDB_BTN_NORMAL);
    CSkinButton button;
    HWND hwnd = bind(button, BS_PUSHBUTTON);
    button.setSkin(IDB_BTN_NORMAL, IDB_BTN_DOWN, IDB_BTN_OVER, 0, 0, IDB_TEST_MASK_HALF, 0, 0, 0);
    parkCursor();
    Pixels p = painted(hwnd);
    ASSERT_EQ(p.width, 40);
    for (int y = 0; y < 20; ++y)
        for (int x = 20; x < 40; ++x)
            ASSERT_EQ(p.at(x, y), normal.at(x, y)) << x << "," << y;
}

TEST_F(SkinButton, MaskWithoutWindowShapeChangesKeepsTheOldShape)
{
    CSkinButton button;
    HWND hwnd = bind(button, BS_PUSHBUTTON);
    button.setSkin(IDB_BTN_NORMAL, 0, 0, 0, 0, IDB_TEST_MASK_HALF, 1, 0, 0);
    button.setSkin(IDB_BTN_NORMAL, 0, 0, 0, 0, 0, 1, 0, 0);    // no mask
    button.setSkin(IDB_BTN_NORMAL, 0, 0, 0, 0, 4242, 0, 0, 0); // a mask that does not load
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(hwnd, rgn), SIMPLEREGION);
    RECT box;
    GetRgnBox(rgn, &box);
    EXPECT_EQ(box.left, 20);
    DeleteObject(rgn);
    RECT wr;
    GetWindowRect(hwnd, &wr);
    EXPECT_EQ(wr.right - wr.left, kWidth) << "no resize without a loaded mask";
}

TEST_F(SkinButton, TooltipIsCreatedOnceAndItsTextReplaced)
{
    CSkinButton button;
    HWND hwnd = bind(button, BS_PUSHBUTTON);
    EXPECT_EQ(button.getTooltipWindow(), nullptr);
    button.setTooltipText(L"Stops the update");
    HWND tip = button.getTooltipWindow();
    ASSERT_TRUE(tip);
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    auto textOf = [&] {
        wchar_t text[80] = {};
        TOOLINFOW ti = {};
        ti.cbSize = TTTOOLINFOW_V2_SIZE;
        ti.hwnd = m_parent.m_hWnd;
        ti.uId = reinterpret_cast<UINT_PTR>(hwnd);
        ti.lpszText = text;
        SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&ti));
        return std::wstring(text);
    };
    EXPECT_EQ(textOf(), L"Stops the update");
    button.setTooltipText(L"Closes the window");
    EXPECT_EQ(button.getTooltipWindow(), tip);
    EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    EXPECT_EQ(textOf(), L"Closes the window");
    // Mouse messages are relayed without disturbing the button.
    moveCursorTo(hwnd, 10, 10);
    press(hwnd, 10, 10);
    release(hwnd, 10, 10);
    EXPECT_EQ(m_parent.m_nClicks, 1);
}

} // namespace

namespace {

// Real input through the system's input queue, as a user's mouse gives it.
void sendMouse(HWND hwnd, int x, int y, DWORD buttonFlags)
{
    POINT pt = {x, y};
    ClientToScreen(hwnd, &pt);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(pt.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(pt.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttonFlags;
    SendInput(1, &in, sizeof in);
    pumpMessages(50);
}

TEST_F(SkinButton, RealMouseHoversPressesAndClicks)
{
    CSkinButton box;
    HWND hwnd = bind(box, BS_AUTOCHECKBOX);
    skin(box);
    sendMouse(m_parent.m_hWnd, 590, 190, 0);
    sendMouse(hwnd, 40, 15, 0);
    EXPECT_TRUE(box.isHover());
    sendMouse(hwnd, 40, 15, MOUSEEVENTF_LEFTDOWN);
    EXPECT_TRUE(box.isTracking());
    EXPECT_FALSE(box.isHover());
    EXPECT_TRUE(SendMessageW(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED);
    sendMouse(hwnd, 40, 15, MOUSEEVENTF_LEFTUP);
    EXPECT_FALSE(box.isTracking());
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(m_parent.m_nClicks, 1);

    // Pressed, dragged off and released there: no click, no toggle.
    sendMouse(hwnd, 40, 15, MOUSEEVENTF_LEFTDOWN);
    sendMouse(hwnd, 200, 100, 0);
    EXPECT_FALSE(SendMessageW(hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED);
    sendMouse(hwnd, 200, 100, MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(m_parent.m_nClicks, 1);
    EXPECT_TRUE(pumpUntil([&] { return !box.isHover(); }, 3000));
}

} // namespace
