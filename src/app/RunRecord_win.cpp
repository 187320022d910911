#include "app/RunRecord.h"

#include "VeldrunVersion.h"
#include "app/EventReport.h"
#include "app/RunHeader.h"
#include "common/ErrorNames.h"
#include "common/FixedBuf.h"
#include "common/Handles.h"
#include "common/Sha256.h"
#include "common/Trace.h"
#include "common/TracePlatform.h"
#include "common/WholeFile.h"
#include "package/Authenticode.h"
#include "package/PackagePlatform.h"
#include "products/PatchInfoKeys.h"
#include "products/Profile.h"

#include <windows.h>

#include <vector>

namespace {

std::string narrowOf(const wchar_t* wide)
{
    std::string text;
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n > 1) {
        text.resize(static_cast<std::size_t>(n));
        WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], n, nullptr, nullptr);
        text.resize(static_cast<std::size_t>(n - 1));
    }
    return text;
}

// "DOMAIN\name" and whether the token is elevated.
void readAccount(RunHeaderFacts& facts)
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return;
    CHandleOwner token(raw);
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        facts.elevated = elevation.TokenIsElevated ? 1 : 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0 || size > 4096)
        return;
    std::vector<unsigned char> buf(size);
    if (!GetTokenInformation(token.get(), TokenUser, buf.data(), size, &size))
        return;
    wchar_t name[256] = {}, domain[256] = {};
    DWORD nameLen = 256, domainLen = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, name, &nameLen, domain,
                          &domainLen, &use))
        facts.user = narrowOf(domain) + "\\" + narrowOf(name);
}

// The real version (GetVersionEx answers what the manifest claims), and
// Wine's when the run is under Wine: an administrator reading a log must
// know.
std::string windowsVersion()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll)
        return "";
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    using WineVersionFn = const char*(CDECL*)();
    auto rtlGetVersion =
        reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    auto wineVersion =
        reinterpret_cast<WineVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0)
        return "";
    std::string text = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
                       std::to_string(info.dwBuildNumber);
    if (wineVersion && wineVersion())
        text += std::string(" (Wine ") + wineVersion() + ")";
    return text;
}

} // namespace

std::string extractedSrNo(const IProfileReader& profile, const char* iniPath)
{
    if (!iniPath || !*iniPath)
        return "";
    char value[kMaxText] = {};
    profile.getString(kSRInfoSection, kSRNoKey, "", value, sizeof value, iniPath);
    return value;
}

std::string runStamp()
{
    return traceLocalStamp();
}

std::string runHeader(const CPackageView* own, const std::string& srNo)
{
    RunHeaderFacts facts;
    facts.version = VELDRUN_VERSION_TEXT;
    std::vector<wchar_t> path(32768);
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    facts.package = n > 0 && n < path.size() ? narrowOf(path.data()) : "";
    if (own && own->isHeld() && own->data()) {
        CSha256 sha;
        sha.update(own->data(), static_cast<std::size_t>(own->size()));
        unsigned char digest[kSha256Size];
        sha.finish(digest);
        char hex[kSha256HexSize];
        sha256Hex(digest, hex);
        facts.packageSha256 = hex;
        CMemorySource bytes(own->data(), static_cast<std::size_t>(own->size()));
        SignerCertificate cert;
        if (readProgramSigner(bytes, &cert) == kSignerFound)
            facts.signer = cert.subject;
    }
    facts.srNo = srNo;
    facts.commandLine = narrowOf(GetCommandLineW());
    readAccount(facts);
    facts.windows = windowsVersion();
    return runHeaderLine(facts);
}

void recordRunEnd(RunResultFacts facts, const char* resultPath, const char* display)
{
    facts.version = VELDRUN_VERSION_TEXT;
    facts.ended = runStamp();
    if (resultPath) {
        unsigned long error = writeWholeFile(resultPath, resultDocument(facts, traceTextToUtf8));
        if (error) {
            const std::string said = "[Veldrun] Result file cannot be written (" + describeWin32Error(error) +
                                     "): " + (display ? display : "");
            traceLog("%s\n", said.c_str());
            reportEvent(EventKind::Warning, kEventResultRefused, said);
        }
    }
    const ReasonEvent event = reasonEvent(facts.reason, facts.patchExitCode);
    reportEvent(event.kind, event.id, facts.outcomeLine);
}
