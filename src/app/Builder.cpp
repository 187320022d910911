#include "app/Builder.h"

#include "app/ExitStatus.h"
#include "package/PatchPackage.h"

#include <cstring>

int buildPackage(CPatchPackage& package, const char* target, const char* append,
                 const std::function<bool()>& copyProgram, const char* storedName)
{
    if (!target || !*target)
        return kBuildTargetOpen;
    if (!append)
        return kBuildAttachOpen;
    const char* name = storedName ? storedName : attachmentName(append);
    if (!isStorableName(name, std::strlen(name)))
        return kBuildNameRefused;
    // Without the copy the attachment would land on whatever the target
    // names: leave the target alone instead.
    if (!copyProgram())
        return kBuildCopyFailed;
    if (!package.setPackagePath(target))
        return kBuildTargetOpen;
    return builderExitStatus(package.attachFile(append, name));
}
