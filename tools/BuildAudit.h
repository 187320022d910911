#pragma once
// The "--all-builds" audit of a patch information file: every [SRInfo]
// Info entry and every build key in it, against what the program's
// selection can ever match. Reports, per entry, what makes an entry or a
// key dead: a missing entry, a key cut by the 259-character limit, a key
// that is not "name#SR number#SR build version", a product name that no
// [RegPath] Check value names (a typo), an entry without a key for one of
// the products, an entry that an earlier identical one always beats, the
// index 999, and pins that cannot be used.

#include "products/Profile.h"

#include <string>
#include <vector>

struct BuildFinding {
    std::string where;   // "Info2", "Info2 key 1", "SHA2563"
    std::string problem; // one line, no final line break
};

std::vector<BuildFinding> auditBuilds(const IProfileReader& profile, const char* iniPath);
