#pragma once
#include "framework/WinApp.h"

// The application object. InitInstance guards against a second instance,
// then runs builder mode (no payload attached to the program) or update
// mode (a payload attached), sets m_nExitCode and returns FALSE.
class CUpdateApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
