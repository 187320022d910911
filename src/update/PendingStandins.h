#pragma once
// TEMPORARY stand-ins for pieces other branches provide (exit statuses). Deleted as
// soon as the real ones are merged.

enum {
    kExitPatchStarted = 0,
    kExitProductError = 1,
    kExitPatchError = 2,
    kExitServerError = 3,
    kExitAlreadyApplied = 4,
    kExitCancelled = 5,
    kExitNotStarted = 6,
    kExitAnotherInstance = 7,
};
