#pragma once
// The process exit status, the one place that numbers it. Builder mode and
// update mode share the numbers 0 to 7 with meanings of their own; 7 is
// "another instance runs" in both.

// Update mode: how the run ended.
enum UpdateExitStatus {
    kExitPatchStarted = 0,    // the patch was started (with /w: the patch's own exit code instead)
    kExitProductError = 1,    // a product is missing or incomplete
    kExitPatchError = 2,      // an installed product does not match the patch
    kExitServerError = 3,     // the patch could not be downloaded
    kExitAlreadyApplied = 4,  // the installed products carry this patch already
    kExitCancelled = 5,       // the user cancelled
    kExitNotStarted = 6,      // the download URL was rejected or the patch could not be started
    kExitAlreadyRunning = 7,  // another instance runs; nothing was done
};

// Builder mode: what became of the package.
enum BuilderExitStatus {
    kBuildWritten = 0,        // the package was written
    kBuildUsage = 1,          // too few arguments: the usage text was shown
    kBuildTargetMarked = 2,   // the target already carries a marker; left unchanged
    kBuildTargetOpen = 3,     // the target cannot be opened (or its path does not fit)
    kBuildAttachOpen = 4,     // the file to attach cannot be opened (or its path does not fit)
    kBuildCopyFailed = 5,     // the program could not be copied to the target; nothing attached
    kBuildNameRefused = 6,    // the file to attach has a name a package cannot carry; nothing done
    kBuildRunning = 7,        // another instance runs; nothing was done
    kBuildWriteFailed = 8,    // writing the attachment failed; the target is the plain copy
};

// The builder's exit status for a result of CPatchPackage::attachFile.
int builderExitStatus(int attachResult);
