#include "app/LaunchSwitches.h"

namespace {

// Case-insensitive whole-text comparison over ASCII, as the switches are ASCII.
bool sameSwitch(const char* arg, const char* sw)
{
    for (; *arg && *sw; ++arg, ++sw) {
        char a = (*arg >= 'A' && *arg <= 'Z') ? static_cast<char>(*arg - 'A' + 'a') : *arg;
        if (a != *sw)
            return false;
    }
    return *arg == '\0' && *sw == '\0';
}

} // namespace

LaunchSwitches scanSwitches(const char* const* args, int count)
{
    LaunchSwitches found;
    for (int i = 0; i < count; ++i) {
        const char* arg = args[i];
        if (!arg)
            continue;
        if (sameSwitch(arg, "/s") || sameSwitch(arg, "-s"))
            found.silent = true;
        if (sameSwitch(arg, "/w") || sameSwitch(arg, "-w"))
            found.wait = true;
        if (sameSwitch(arg, "/log") || sameSwitch(arg, "-log")) {
            if (i + 1 < count)
                found.logFile = ++i;
            else
                found.logWithoutFile = true;
        }
    }
    return found;
}

void printUsage(std::FILE* out, const char* programName)
{
    std::fprintf(out, "Usage: %s <TargetFile> <AppendFile>\n", programName ? programName : "");
    std::fputs("TargetFile is executable you want to create that will be self extracted.\n", out);
    std::fputs("AppendFile is the file you want to attach to target File.\n", out);
    std::fflush(out);
}
