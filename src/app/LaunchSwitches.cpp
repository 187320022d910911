#include "app/LaunchSwitches.h"

#include "common/TextHelpers.h"
#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/PatchInfoKeys.h"
#include "products/ProfileLines.h"
#include "update/UpdateRules.h"

#include <vector>

namespace {

// Switches are ASCII and match as whole arguments in any case.
bool sameSwitch(const char* arg, const char* sw)
{
    return equalNoCaseAscii(arg, sw);
}

bool isHelp(const char* arg)
{
    return sameSwitch(arg, "/?") || sameSwitch(arg, "-?") || sameSwitch(arg, "/h") || sameSwitch(arg, "-h") ||
           sameSwitch(arg, "/help") || sameSwitch(arg, "-help");
}

bool isLog(const char* arg)
{
    return sameSwitch(arg, "/log") || sameSwitch(arg, "-log");
}

bool isResult(const char* arg)
{
    return sameSwitch(arg, "/result") || sameSwitch(arg, "-result");
}

bool isVerbose(const char* arg)
{
    return sameSwitch(arg, "/verbose") || sameSwitch(arg, "-verbose");
}

// The argument after a switch that names a file: its index, or -1 (and
// `without` set) when the switch is the last argument.
void takeFile(int& i, int count, int& index, bool& without)
{
    if (i + 1 < count)
        index = ++i;
    else
        without = true;
}

// [SRInfo] SilentArgs of the attached file, as the program's reader takes
// it (first section and key of the name, cut to 259 characters).
std::string attachedSilentArgs(const std::string& attached)
{
    std::string text = profileTextOf(attached);
    std::vector<ProfileLine> lines = scanProfileLines(text);
    std::size_t at = CProfileIndex(lines).key(kSRInfoSection, kSilentArgsKey);
    if (at == CProfileIndex::npos || !lines[at].bHasValue)
        return std::string();
    return std::string(lines[at].value.substr(0, kMaxText - 1));
}

} // namespace

bool isLaunchSwitch(const char* arg)
{
    return arg && (sameSwitch(arg, "/s") || sameSwitch(arg, "-s") || sameSwitch(arg, "/w") || sameSwitch(arg, "-w") ||
                   isLog(arg) || isResult(arg) || isVerbose(arg) || isHelp(arg));
}

std::string switchesText(const std::string& attached)
{
    std::string silentArgs = attachedSilentArgs(attached);
    return std::string("Usage: package.exe [/s] [/w] [/log FILE] [/result FILE] [/verbose]\n"
                       "  /s, -s        silent: no window and no message box; the patch is started hidden with ") +
           patchArguments(true, silentArgs.c_str(), "") + (silentArgs.empty() ? "" : " (its SilentArgs)") +
           "\n"
           "  /w, -w        wait for the started patch; its exit code becomes this program's\n"
           "  /log FILE     append the run's lines, a header first and the outcome last, to FILE\n"
           "  /result FILE  write how the run ended to FILE as a JSON document (replaced whole)\n"
           "  /verbose      the log also gets the window's and the download's internal lines\n"
           "  /?            show these switches and do nothing else\n";
}

LaunchSwitches scanSwitches(const char* const* args, int count)
{
    LaunchSwitches found;
    for (int i = 0; i < count; ++i) {
        const char* arg = args[i];
        if (!arg)
            continue;
        bool known = false;
        if (sameSwitch(arg, "/s") || sameSwitch(arg, "-s"))
            found.silent = known = true;
        if (sameSwitch(arg, "/w") || sameSwitch(arg, "-w"))
            found.wait = known = true;
        if (isHelp(arg))
            found.help = known = true;
        if (isVerbose(arg))
            found.verbose = known = true;
        if (isLog(arg)) {
            known = true;
            takeFile(i, count, found.logFile, found.logWithoutFile);
        } else if (isResult(arg)) {
            known = true;
            takeFile(i, count, found.resultFile, found.resultWithoutFile);
        }
        if (!known && i > 0)
            traceLog("[Veldrun] Argument ignored: %s\n", arg);
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
