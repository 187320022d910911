// winprobe: reports where a top-level window and its controls are on the
// screen, so that tests and the demo can look at known pixels of a
// screenshot. Run under Wine beside the program it looks at.
//
//   winprobe.exe TITLE [CONTROL]
//
// With CONTROL, only a window holding a control of that id counts; with
// -CONTROL, only one without it (the update window and its message boxes
// share their title). Exit status 1
// when no such visible window exists. Output, all
// rectangles in screen coordinates (left top right bottom):
//   window L T R B
//   client L T R B
//   control ID CLASS VISIBLE L T R B      (one line per child window)
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Search {
    const char* title;
    int control; // > 0: must hold it, < 0: must not hold -control, 0: any
    HWND found;
};

BOOL CALLBACK match(HWND hwnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<Search*>(lParam);
    char title[256] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    if (lstrcmpA(title, s->title) != 0 || !IsWindowVisible(hwnd))
        return TRUE;
    if (s->control > 0 && !GetDlgItem(hwnd, s->control))
        return TRUE;
    if (s->control < 0 && GetDlgItem(hwnd, -s->control))
        return TRUE;
    s->found = hwnd;
    return FALSE;
}

BOOL CALLBACK printControl(HWND child, LPARAM)
{
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    RECT r = {};
    GetWindowRect(child, &r);
    std::printf("control %d %s %d %ld %ld %ld %ld\n", GetDlgCtrlID(child), cls, IsWindowVisible(child) ? 1 : 0, r.left,
                r.top, r.right, r.bottom);
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    Search search = {argv[1], argc > 2 ? std::atoi(argv[2]) : 0, nullptr};
    EnumWindows(match, reinterpret_cast<LPARAM>(&search));
    HWND w = search.found;
    if (!w)
        return 1;
    RECT r = {};
    GetWindowRect(w, &r);
    std::printf("window %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    RECT c = {};
    GetClientRect(w, &c);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    std::printf("client %ld %ld %ld %ld\n", origin.x, origin.y, origin.x + c.right, origin.y + c.bottom);
    EnumChildWindows(w, printControl, 0);
    std::fflush(stdout);
    return 0;
}
