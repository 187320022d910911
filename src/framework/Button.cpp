#include "framework/Button.h"

void CButton::DrawItem(DRAWITEMSTRUCT*) {}

bool CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message != WM_DRAWITEM)
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    *result = TRUE;
    return true;
}
