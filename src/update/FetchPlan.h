#pragma once
// The downloads an update run makes for a selection, in order: the first,
// then the one fallback to the "Max" folder unless the first already was
// the generic build's. The run's driver (CRunDriver) takes its URLs from
// here and vdrpack check prints the same list, so the two cannot drift.
// Portable.

#include <cstdint>
#include <string>
#include <vector>

enum class FetchRole { First, Fallback };

// "first" or "fallback".
const char* fetchRoleName(FetchRole role);

struct PlannedFetch {
    FetchRole role;
    std::string url;           // empty when it would not fit in kMaxText: that URL is never fetched
    int pinFolder;             // the folder whose pin and size keys judge it (pinFolderFor)
    std::string pin;           // that folder's SHA-256 pin as [SRInfo] gives it (the run's driver reads it)
    std::uint64_t sizePin = 0; // that folder's pinned size (0: none; the driver reads it with the pin)
};

// The plan for the selection result `id` of getSRIdFromFile with [SRInfo]
// URL `server` and SRNo `srNo` (used as written): nothing for an already
// applied patch (999), else the first download and, unless the first was
// the generic build's (-1), the fallback.
std::vector<PlannedFetch> planFetches(int id, const char* server, const char* srNo);
