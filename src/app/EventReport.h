#pragma once
// One entry in the Application event log, source "Veldrun", for the
// monitoring administrators run. Nothing is registered: without a message
// file the entry shows its text as its one insertion string. Failures are
// traced and otherwise ignored (the run's outcome does not depend on them).
// Windows only (EventReport_win.cpp).

#include "update/RunResult.h"

#include <string>

void reportEvent(EventKind kind, unsigned id, const std::string& text);
