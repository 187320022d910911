#include "app/UpdateApp.h"

#include "app/Builder.h"
#include "app/EventReport.h"
#include "app/ExitStatus.h"
#include "app/Handover.h"
#include "app/InstanceMutex.h"
#include "app/LaunchSwitches.h"
#include "app/RunFolder.h"
#include "app/RunRecord.h"
#include "common/ErrorNames.h"
#include "common/FixedBuf.h"
#include "common/Handles.h"
#include "common/SystemDll.h"
#include "common/Trace.h"
#include "package/PatchPackage.h"
#include "products/HeldProfile.h"
#include "update/RunDriver.h"

#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

CUpdateApp theApp;

namespace {

const char kMutexName[] = "{BAF5C721-F6F1-4971-9B35-3902F130C6C3}";
const unsigned kPatchSettleMs = 5000;

// The argument vector, with each argument also as narrow (ANSI) text in a
// 260-byte buffer; an argument that does not fit, or holds a character the
// ANSI code page has no form of, has no narrow form (a best-fit stand-in
// would name another file).
class CArguments {
public:
    CArguments()
    {
        // The whole command line is split, however long it is.
        // shell32 is called, not imported: loaded after restrictDllSearch.
        m_argv.reset(SYSTEM_CALL(L"shell32.dll", CommandLineToArgvW, nullptr, (GetCommandLineW(), &m_argc)));
        if (!m_argv)
            m_argc = 0;
        m_text.resize(static_cast<std::size_t>(m_argc) * kMaxText);
        const bool utf8 = GetACP() == CP_UTF8; // holds every character, takes no lossy check
        for (int i = 0; i < m_argc; ++i) {
            char* buf = &m_text[static_cast<std::size_t>(i) * kMaxText];
            BOOL lossy = FALSE;
            bool fits = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, m_argv.get()[i], -1, buf, kMaxText,
                                            nullptr, utf8 ? nullptr : &lossy) > 0;
            m_narrow.push_back(fits && !lossy ? buf : nullptr);
        }
    }
    CArguments(const CArguments&) = delete;
    CArguments& operator=(const CArguments&) = delete;

    int count() const { return m_argc; }
    const wchar_t* wide(int i) const { return i < m_argc ? m_argv.get()[i] : L""; }
    // Null when argument i is missing or does not fit.
    const char* narrow(int i) const { return i < m_argc ? m_narrow[static_cast<std::size_t>(i)] : nullptr; }
    const char* const* narrowAll() const { return m_narrow.data(); }

    // Argument i in UTF-8, of any length.
    std::string utf8(int i) const { return converted(CP_UTF8, i); }

    // Argument i as narrow text of any length (for display only).
    std::string display(int i) const { return converted(CP_ACP, i); }

private:
    std::string converted(UINT codePage, int i) const
    {
        std::string text;
        int n = WideCharToMultiByte(codePage, 0, wide(i), -1, nullptr, 0, nullptr, nullptr);
        if (n > 1) {
            text.resize(static_cast<std::size_t>(n));
            WideCharToMultiByte(codePage, 0, wide(i), -1, &text[0], n, nullptr, nullptr);
            text.resize(static_cast<std::size_t>(n - 1));
        }
        return text;
    }

    CLocalOwner<LPWSTR*> m_argv;
    int m_argc = 0;
    std::vector<char> m_text;
    std::vector<const char*> m_narrow;
};

// "/log FILE": from here on the trace also goes to FILE, the header and the
// lines traced so far first. A file that cannot be opened is traced and
// reported to the event log; the run goes on.
void openRunLog(const CArguments& args, const LaunchSwitches& sw, const std::string& header)
{
    traceSetVerbose(sw.verbose);
    if (sw.logWithoutFile)
        traceLog("[Veldrun] /log without a file name, ignored\n");
    if (sw.resultWithoutFile)
        traceLog("[Veldrun] /result without a file name, ignored\n");
    if (sw.logFile < 0) {
        traceNoLog();
        return;
    }
    unsigned long error = traceOpenLog(args.utf8(sw.logFile).c_str(), header.c_str());
    if (error == 0) {
        traceLog("[Veldrun] Log file: %s\n", args.display(sw.logFile).c_str());
        return;
    }
    const std::string said = "[Veldrun] Log file cannot be opened (" + describeWin32Error(error) +
                             "), the run goes on without it: " + args.display(sw.logFile);
    traceLog("%s\n", said.c_str());
    reportEvent(EventKind::Warning, kEventLogRefused, said);
}

// The run's result document (when asked for) and its event.
void recordEnd(RunResultFacts facts, const CArguments& args, const LaunchSwitches& sw, const std::string& started,
               const std::string& srNo)
{
    facts.package = args.display(0);
    facts.started = started;
    facts.srNo = srNo;
    const bool asked = sw.resultFile >= 0;
    recordRunEnd(facts, asked ? args.utf8(sw.resultFile).c_str() : nullptr,
                 asked ? args.display(sw.resultFile).c_str() : "");
}

// A second instance does nothing, but says so where it was asked to: its
// log, its result document and the event log.
void recordAnotherInstance(const std::string& started)
{
    CArguments args;
    LaunchSwitches sw = scanSwitches(args.narrowAll(), args.count());
    openRunLog(args, sw, runHeader(nullptr, ""));
    RunResultFacts facts = anotherInstanceResult();
    traceLog("%s\n", facts.outcomeLine.c_str());
    traceLog("[Veldrun] Program End.\n");
    recordEnd(facts, args, sw, started, "");
}

// A patch information file is a few kilobytes; a larger attachment is not
// read for the switches text.
constexpr std::size_t kMaxSwitchesAttachment = 1 << 20;

// The answer to "/?": on standard output when it is redirected, else in a
// message box unless the run is silent.
void showSwitches(bool silent, CPatchPackage& package)
{
    // The attached file is read from the held package, never written out.
    std::string attached;
    if (package.readAttached(attached, kMaxSwitchesAttachment) != kDetachDone)
        attached.clear();
    std::string text = switchesText(attached);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    } else if (!silent) {
        MessageBoxA(nullptr, text.c_str(), "Update Utility", MB_OK | MB_ICONINFORMATION);
    }
}

// The extracted file's bytes, read through the handle that wrote and holds
// it; false when they cannot all be read (or the file is beyond any patch
// information file's size).
bool readHeldBytes(CHeldFile& held, std::string& bytes)
{
    const std::int64_t kMaxBytes = 16 * 1024 * 1024;
    std::int64_t size = held.size();
    if (size < 0 || size > kMaxBytes)
        return false;
    bytes.resize(static_cast<std::size_t>(size));
    return size == 0 || held.readAt(0, &bytes[0], bytes.size());
}

// Update mode: read the switches, open the log file, extract the patch
// information file into the run's own folder, read it once from the bytes
// held, hand over to the update dialog, and remove the folder at the end.
// The extracted file is held from its extraction to the run's end: nobody
// can change it meanwhile, and no read goes back to it by name. A refused
// package extracts nothing: the run ends with the patch error.
int runUpdateMode(CPatchPackage& package, const CArguments& args, bool refused, const std::string& started)
{
    CHeldFile heldIni;
    LaunchSwitches sw = scanSwitches(args.narrowAll(), args.count());
    CRunDriver run(sw.silent);
    if (sw.help) {
        openRunLog(args, sw, runHeader(&package.heldView(), ""));
        if (run.onLaunch(true, kDetachDone))
            showSwitches(sw.silent, package);
        traceRaw(run.outcomeLine().c_str());
        recordEnd(resultOf(run), args, sw, started, "");
        return run.exitStatus();
    }

    char iniPath[kMaxText] = {};
    // The run's own folder, under the system's temporary folder (never the
    // user's TEMP), holds everything the run writes and starts.
    CRunFolder folder;
    int extracted = kDetachPackageOpen;
    if (!refused) {
        unsigned long error = folder.create();
        if (error)
            traceLog("[Veldrun] Run folder cannot be created (error %lu)\n", error);
        extracted = error ? kDetachCreate : package.detachFile(folder.path(), iniPath, sizeof iniPath, &heldIni);
    }
    traceLog("[Veldrun] detachFile => %d\n", extracted);
    std::string bytes;
    if (extracted == kDetachDone && !readHeldBytes(heldIni, bytes)) {
        traceLog("[Veldrun] The extracted file cannot be read back\n");
        extracted = kDetachCopyFailed;
    }
    // Only a file this run wrote is read: after a failure the path may name
    // a file someone else left there.
    if (extracted != kDetachDone)
        iniPath[0] = '\0';
    traceLog("[Veldrun] Extract patch information file: %s\n", iniPath);
    const CHeldProfileReader profile(bytes);
    // Opened once the file is extracted, so that its header names the SRNo;
    // the lines so far are held and follow the header.
    const std::string srNo = extractedSrNo(profile, iniPath);
    openRunLog(args, sw, runHeader(&package.heldView(), srNo));
    run.onLaunch(false, extracted);

    traceLog("[Veldrun] Extract patch mode: %s %s\n", sw.silent ? "Hide" : "Show", sw.wait ? "Wait" : "No-Wait");
    int status = runUpdateDialog(run, iniPath, folder.path(), sw.wait, &package.heldView(), &profile);
    heldIni.close();
    // A patch waited for has ended: what it held goes with it.
    folder.remove(sw.wait ? kPatchSettleMs : 0);
    recordEnd(resultOf(run), args, sw, started, srNo);
    return status;
}

// Builder mode: "Veldrun TargetFile AppendFile" copies the program to
// TargetFile and attaches AppendFile to the copy.
int runBuilderMode(CPatchPackage& package, const CArguments& args)
{
    // A first argument meant for a package ("-s", "/?") is no target name.
    if (args.count() < 3 || isLaunchSwitch(args.narrow(1))) {
        printUsage(stdout, args.display(0).c_str());
        return kBuildUsage;
    }
    for (int i = 1; i <= 2; ++i)
        if (!args.narrow(i))
            traceLog("[Veldrun] %s path has no form in the ANSI code page within 259 bytes, nothing written: %s\n",
                     i == 1 ? "Target" : "Attachment", args.display(i).c_str());
    // The source is the program name as typed, not the running module's path.
    auto copyProgram = [&args] { return CopyFileW(args.wide(0), args.wide(1), FALSE) != FALSE; };
    return buildPackage(package, args.narrow(1), args.narrow(2), copyProgram);
}

} // namespace

BOOL CUpdateApp::InitInstance()
{
    const std::string started = runStamp();
    CInstanceMutex mutex(kMutexName);
    if (!mutex.alreadyExists() && mutex.anotherInstance())
        traceLog("[Veldrun] The instance mutex cannot be made (error %lu): counted as another instance\n",
                 mutex.m_dwLastError);
    if (mutex.anotherInstance()) {
        traceLog("[Veldrun] Process is running\n");
        recordAnotherInstance(started);
        m_nExitCode = kExitAlreadyRunning;
        return FALSE;
    }
    AfxEnableControlContainer();
    Enable3dControls();

    CArguments args;
    // The program's own file, held for the whole run: every read of the
    // package goes through it. A file that is not the one the process was
    // loaded from (put under its name since), or a signed one whose signature
    // does not verify, is refused unread.
    CPatchPackage package;
    int held = package.holdOwnFile();
    if (held == kOwnFileSwapped)
        traceLog("[Veldrun] The package file is not the program that was started, nothing read\n");
    else if (held == kOwnFileUntrusted)
        traceLog("[Veldrun] The package file's signature does not verify (WinVerifyTrust: 0x%08lX), nothing read\n",
                 package.holdError());
    else if (held != kOwnFileHeld)
        traceLog("[Veldrun] The package file cannot be held (error %lu), nothing read\n", package.holdError());
    if (held != kOwnFileHeld)
        m_nExitCode = runUpdateMode(package, args, true, started);
    else if (package.checkSignature())
        m_nExitCode = runUpdateMode(package, args, false, started);
    else
        m_nExitCode = runBuilderMode(package, args);
    return FALSE;
}
