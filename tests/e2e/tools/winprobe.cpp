// winprobe: reports where a top-level window and its controls are on the
// screen, so that tests and the demo can look at known pixels of a
// screenshot. Run under Wine beside the program it looks at.
//
//   winprobe.exe TITLE
//
// Exit status 1 when no visible window has that title. Output, all
// rectangles in screen coordinates (left top right bottom):
//   window L T R B
//   client L T R B
//   control ID CLASS VISIBLE L T R B      (one line per child window)
#include <windows.h>

#include <cstdio>

namespace {

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
    HWND w = FindWindowA(nullptr, argv[1]);
    if (!w || !IsWindowVisible(w))
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
