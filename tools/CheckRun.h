#pragma once
// vdrpack check's run: the program's own driver over a registry and the
// patch information file, with a platform that has no network (every
// download ends with no file, so the whole plan is walked). check and the
// run agree because they are the same run.

#include "products/Profile.h"
#include "products/Registry.h"
#include "update/RunDriver.h"

// Runs `driver` (told nothing yet) to its outcome over `registry` and the
// file at iniPath read through `profile`.
RunOutcome checkRun(CRunDriver& driver, IRegistry& registry, const IProfileReader& profile, const char* iniPath);
