#pragma once
// Builder mode's process exit statuses. Update mode's are numbered beside
// the rules that choose them (update/RunOutcome.h); both modes use 7 for
// "another instance runs".

// Builder mode: what became of the package.
enum BuilderExitStatus {
    kBuildWritten = 0,      // the package was written
    kBuildUsage = 1,        // too few arguments: the usage text was shown
    kBuildTargetMarked = 2, // the target already carries a marker; left unchanged
    kBuildTargetOpen = 3,   // the target cannot be opened (or its path does not fit)
    kBuildAttachOpen = 4,   // the file to attach cannot be opened (or its path does not fit)
    kBuildCopyFailed = 5,   // the program could not be copied to the target; nothing attached
    kBuildNameRefused = 6,  // the file to attach has a name a package cannot carry; nothing done
    kBuildRunning = 7,      // another instance runs; nothing was done
    kBuildWriteFailed = 8,  // writing the attachment failed; the target is the plain copy
};

// The builder's exit status for a result of CPatchPackage::attachFile.
int builderExitStatus(int attachResult);
