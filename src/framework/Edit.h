#pragma once
// CEdit: an edit control taken over by a dialog through DDX_Control.
#include "framework/Wnd.h"

class CEdit : public CWnd {};
