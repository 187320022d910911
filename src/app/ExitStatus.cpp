#include "app/ExitStatus.h"

#include "package/PatchPackage.h"

int builderExitStatus(int attachResult)
{
    switch (attachResult) {
    case kAttachDone:
        return kBuildWritten;
    case kAttachMarked:
        return kBuildTargetMarked;
    case kAttachSourceOpen:
        return kBuildAttachOpen;
    case kAttachWriteFailed:
        return kBuildWriteFailed;
    case kAttachNameRefused:
        return kBuildNameRefused;
    case kAttachTargetOpen:
    default:
        return kBuildTargetOpen;
    }
}
