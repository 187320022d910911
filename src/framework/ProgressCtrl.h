#pragma once
// CProgressCtrl: a progress bar control ("msctls_progress32") taken over by
// subclassing, with thin senders of the standard progress-bar messages.

#include "framework/Wnd.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd {
public:
    // Each returns what the control answers: the previous position (SetPos,
    // OffsetPos, StepIt) or the previous step (SetStep).
    int SetPos(int pos) const { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
    int OffsetPos(int delta) const { return static_cast<int>(SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(delta))); }
    int SetStep(int step) const { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step))); }
    int StepIt() const { return static_cast<int>(SendMessage(PBM_STEPIT)); }
    void SetRange32(int lower, int upper) const
    {
        SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
    }
    void GetRange(int& lower, int& upper) const
    {
        PBRANGE range = {0, 0};
        SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
        lower = range.iLow;
        upper = range.iHigh;
    }
};
