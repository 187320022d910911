#pragma once
// CToolTipCtrl: a tooltip control window owned by the wrapper. Create makes
// the window; the wrapper destroys it when it is destroyed itself. Tools are
// whole windows (identified by their handle) whose mouse messages the owner
// relays with RelayEvent.

#include "framework/Wnd.h"

#include <commctrl.h>

class CToolTipCtrl : public CWnd {
public:
    CToolTipCtrl() = default;
    ~CToolTipCtrl() override;

    // Creates the tooltip window (a popup owned by `owner`, with the tooltip
    // styles in `style`). FALSE when the window could not be made or this
    // wrapper already has one.
    BOOL Create(CWnd* owner, DWORD style = 0);
    // Registers `tool` as a tool showing `text` (copied by the control).
    BOOL AddTool(CWnd* tool, const wchar_t* text);
    // Replaces the text of a tool registered with AddTool.
    void UpdateTipText(const wchar_t* text, CWnd* tool);
    void Activate(BOOL activate);
    // Passes one mouse message of a tool window to the tooltip.
    void RelayEvent(MSG* msg);

private:
    void fillToolInfo(TOOLINFOW& ti, CWnd* tool, const wchar_t* text) const;
};
