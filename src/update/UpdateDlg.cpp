#include "update/UpdateDlg.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "framework/WinApp.h"
#include "products/ProductCheck.h"
#include "products/Profile.h"
#include "update/DownloadVerdict.h"
#include "update/DownloadWorker.h"
#include "update/LangString.h"
#include "update/PatchPin.h"
#include "update/ProgressText.h"
#include "ui/AboutDlg.h"
#include "ui/WindowPainting.h"

#include <commctrl.h>
#include <process.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstring>

namespace {
enum {
    kTemplateId = 102,
    kIconId = 128,
    kBackgroundId = 134,
    kCancelId = IDCANCEL,
    kProgressId = 1000,
    kStatusId = 1002,
    kAboutCommand = 0x0010,
    kWorkerStopWaitMs = 2000,
};
enum : unsigned {
    kStrAbout = 101,
    kStrProductError = 102,
    kStrPatchError = 103,
    kStrServerError = 104,
    kStrRetrieving = 105,
    kStrConnecting = 106,
    kStrDownloading = 107,
    kStrCancel = 108,
    kStrAlreadyApplied = 109,
};
} // namespace

CUpdateDlg::CUpdateDlg(CWnd* parent)
    : CDialog(kTemplateId, parent),
      m_hIcon(nullptr),
      m_szIniPath{},
      m_szServerURL{},
      m_szSRNo{},
      m_bAllowFallback(1),
      m_bSilent(0),
      m_bWait(0),
      m_szStatusText{},
      m_job{},
      m_cancelEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_nThreadId(0),
      m_nTimer(0)
{
    HINSTANCE inst = AfxGetResourceHandle();
    m_hIcon = LoadIconA(inst, MAKEINTRESOURCEA(kIconId));
    m_hBackground.reset(static_cast<HBITMAP>(
        LoadImageA(inst, MAKEINTRESOURCEA(kBackgroundId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

CUpdateDlg::~CUpdateDlg()
{
    if (m_hThread) {
        if (WaitForSingleObject(m_hThread.get(), kWorkerStopWaitMs) != WAIT_OBJECT_0)
            TerminateThread(m_hThread.get(), 0);
        m_hThread.reset();
    }
    if (m_nTimer) {
        if (m_hWnd)
            KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
    traceRaw(m_account.outcomeLine(exitStatus()).c_str());
    traceLog("[Veldrun] Program End.\n");
    // Members go in reverse order: event, product list, progress bar,
    // edit control, button; then the dialog base.
}

int CUpdateDlg::exitStatus() const { return exitStatusFor(m_outcome, m_bPatchWaited, m_dwPatchExitCode); }

int CUpdateDlg::checkProducts(const char* iniPath) { return ::checkProducts(iniPath, m_products); }

int CUpdateDlg::getSRIdFromFile(const char* iniPath) { return ::getSRIdFromFile(iniPath, m_products, m_szSRNo); }

void CUpdateDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kCancelId, m_btnCancel);
    DDX_Control(pDX, kStatusId, m_editStatus);
    DDX_Control(pDX, kProgressId, m_progress);
}

BOOL CUpdateDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU sysMenu = GetSystemMenu(m_hWnd, FALSE)) {
        char about[kJobTextSize] = {};
        LoadStringA(AfxGetResourceHandle(), kStrAbout, about, sizeof about);
        if (about[0]) {
            AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(sysMenu, MF_STRING, kAboutCommand, about);
        }
    }
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    wchar_t caption[kJobTextSize] = {};
    loadLangString(kStrCancel, caption);
    m_btnCancel.setCaption(caption);
    m_btnCancel.setTextColor(RGB(255, 255, 255));
    m_btnCancel.setSkin(136, 143, 142, 0, 0, 0, 1, 0, 0);

    setStatusText(kStrRetrieving);

    int check = checkProducts(m_szIniPath);
    m_account.noteProducts(check, m_products, platformRegistry());
    if (check != kProductsApplicable) {
        ::PostMessageA(m_hWnd, WM_USER_PRODUCTERROR, static_cast<WPARAM>(check), 0);
        return TRUE;
    }
    readProfileString("SRInfo", "URL", m_szServerURL, sizeof m_szServerURL, m_szIniPath);
    readProfileString("SRInfo", "SRNo", m_szSRNo, sizeof m_szSRNo, m_szIniPath);

    int id = getSRIdFromFile(m_szIniPath);
    m_nSRId = id;
    traceLog("[Veldrun] getSRIdFromFile => ID: %d\n", id);
    m_account.noteSelection(id, m_products, m_szSRNo);

    if (m_nTimer == 0)
        m_nTimer = SetTimer(m_hWnd, kConnectivityTimerId, kConnectivityPeriodMs, nullptr);

    if (id == kPatchAlreadyApplied) {
        ::PostMessageA(m_hWnd, WM_USER_PATCHED, 0, 0);
        return TRUE;
    }
    if (!firstDownloadAllowsFallback(id))
        m_bAllowFallback = 0;
    char url[kJobTextSize] = {};
    if (composeFirstURL(url, sizeof url, m_szServerURL, id, m_szSRNo)) {
        updateDownloadURL(url);
    } else {
        traceLog("[Veldrun] updateDownloadURL => URL too long, rejected\n");
        m_account.noteURLRefused("");
        runNotStarted();
    }
    return TRUE;
}

void CUpdateDlg::setStatusText(unsigned id)
{
    std::memset(m_szStatusText, 0, sizeof m_szStatusText);
    loadLangString(id, m_szStatusText);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CUpdateDlg::OnCancel()
{
    if (m_hThread)
        SetEvent(m_cancelEvent.get());
    m_account.noteCancel(m_hThread ? m_job.szURL : "");
    m_outcome = outcomeOnCancel(m_outcome);
    CDialog::OnCancel();
}

LRESULT CUpdateDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_USER_ENDDOWNLOAD:
        if (!onEndDownload())
            return -1;
        break;
    case WM_USER_PROGRESS:
        onProgress(reinterpret_cast<const ProgressInfo*>(lParam));
        break;
    case WM_WINDOWPOSCHANGING:
        if (m_bSilent) {
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
            traceLog("WindowProc::WM_WINDOWPOSCHANGING\n");
        }
        break;
    case WM_USER_PRODUCTERROR:
        if (wParam == kProductsNotFound)
            endWithMessage(RunOutcome::ProductError, kStrProductError, MB_ICONERROR);
        else
            endWithMessage(RunOutcome::PatchError, kStrPatchError, MB_ICONERROR);
        break;
    case WM_USER_SERVERERROR:
        traceLog("WindowProc::WM_USER_SERVERERROR\n");
        endWithMessage(RunOutcome::ServerError, kStrServerError, MB_ICONERROR);
        break;
    case WM_USER_PATCHED:
        traceLog("WindowProc::WM_USER_PATCHED\n");
        endWithMessage(RunOutcome::AlreadyApplied, kStrAlreadyApplied, MB_ICONINFORMATION);
        break;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

bool CUpdateDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_PAINT:
        OnPaint();
        *result = 0;
        return true;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(OnQueryDragIcon());
        return true;
    case WM_TIMER:
        if (wParam != kConnectivityTimerId)
            break;
        OnTimer(wParam);
        *result = 0;
        return true;
    case WM_ERASEBKGND:
        // The window painting draws the background and the status line;
        // without a picture the default erasing runs.
        if (paintUpdateBackground(reinterpret_cast<HDC>(wParam), m_hWnd, m_hBackground.get(), m_editStatus.m_hWnd,
                                  m_szStatusText)) {
            *result = TRUE;
            return true;
        }
        break;
    case WM_SYSCOMMAND:
        if (isAboutCommand(static_cast<UINT>(wParam))) {
            CAboutDlg about;
            about.DoModal();
            *result = 0;
            return true;
        }
        break;
    default:
        break;
    }
    return CDialog::OnWndMsg(message, wParam, lParam, result);
}

void CUpdateDlg::OnPaint()
{
    if (!IsIconic(m_hWnd)) {
        Default();
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    paintMinimizedIcon(m_hWnd, dc, m_hIcon);
    EndPaint(m_hWnd, &ps);
}

HCURSOR CUpdateDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CUpdateDlg::OnTimer(UINT_PTR id)
{
    DWORD flags = 0;
    bool held = static_cast<bool>(m_hThread);
    // The platform is asked only while a worker runs.
    bool connected = !held || InternetGetConnectedState(&flags, 0);
    if (connectivityTick(static_cast<unsigned>(id), held, connected) != TimerAction::ServerError)
        return;
    traceLog("[Veldrun] Internet Lost\n");
    m_account.noteConnectionLost();
    if (m_nTimer) {
        KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
    ::PostMessageA(m_hWnd, WM_USER_SERVERERROR, 0, 0);
}

void CUpdateDlg::endWithMessage(RunOutcome outcome, unsigned stringId, UINT icon)
{
    m_outcome = outcome;
    wchar_t text[kJobTextSize] = {};
    loadLangString(stringId, text);
    if (!m_bSilent)
        MessageBoxW(nullptr, text, L"Update Utility", MB_OK | icon);
    ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
}

void CUpdateDlg::runNotStarted()
{
    m_outcome = RunOutcome::NotStarted;
    if (m_bSilent)
        ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
}

int CUpdateDlg::updateDownloadURL(const char* url)
{
    traceLog("[Veldrun] updateDownloadURL => Source URL: %s\n", url);
    wchar_t wide[kJobTextSize] = {};
    MultiByteToWideChar(CP_ACP, 0, url, -1, wide, kJobTextSize - 1);
    if (FAILED(IsValidURL(nullptr, wide, 0))) {
        m_account.noteURLRefused(url);
        runNotStarted();
        return 0;
    }
    if (m_hThread) {
        WaitForSingleObject(m_hThread.get(), INFINITE);
        m_hThread.reset();
    }

    m_job.hWnd = m_hWnd;
    ResetEvent(m_cancelEvent.get());
    m_job.hCancelEvent = m_cancelEvent.get();
    copyBounded(m_job.szURL, sizeof m_job.szURL, url);
    m_job.nVerdict = static_cast<int>(DownloadVerdict::NoFile);

    char tempDir[kJobTextSize] = {};
    GetTempPathA(sizeof tempDir, tempDir);
    std::memset(m_job.szLocalPath, 0, sizeof m_job.szLocalPath);
    GetTempFileNameA(tempDir, "", 0, m_job.szLocalPath);
    PathRemoveExtensionA(m_job.szLocalPath);
    // ".exe" given by name: the platform's default for a null extension is
    // not honoured everywhere (Wine adds nothing).
    PathAddExtensionA(m_job.szLocalPath, ".exe");
    traceLog("[Veldrun] updateDownloadURL => Local path: %s\n", m_job.szLocalPath);

    unsigned threadId = 0;
    uintptr_t thread = _beginthreadex(nullptr, 0, &ThreadFunc, &m_job, 0, &threadId);
    if (!thread) {
        m_account.note("the download could not be started");
        runNotStarted();
        return 0;
    }
    m_hThread.reset(reinterpret_cast<HANDLE>(thread));
    m_nThreadId = threadId;
    return 1;
}

bool CUpdateDlg::onEndDownload()
{
    m_hThread.reset();
    traceLog("WindowProc::WM_USER_ENDDOWNLOAD %s\n", m_job.szLocalPath);
    // The worker removed a file that must not be started; its verdict
    // counts, not a file that merely exists.
    bool good = m_job.nVerdict == static_cast<int>(DownloadVerdict::Good) && PathFileExistsA(m_job.szLocalPath);
    m_account.noteDownload(m_job.szURL, static_cast<DownloadVerdict>(m_job.nVerdict), m_job.facts);
    // A pinned build whose digest differs is removed and counts as no file.
    if (good) {
        int folder = pinFolderFor(m_nSRId, !m_bAllowFallback);
        int pin = checkDownloadPin(m_szIniPath, folder, m_job.szLocalPath);
        m_account.notePin(pin, folder);
        good = pin != kPinMismatch;
    }
    switch (endOfDownloadAction(good, m_bAllowFallback != 0)) {
    case EndAction::Install:
        return installPatch();
    case EndAction::Fallback: {
        m_bAllowFallback = 0;
        char url[kJobTextSize] = {};
        if (composeFallbackURL(url, sizeof url, m_szServerURL, m_szSRNo)) {
            updateDownloadURL(url);
        } else {
            traceLog("[Veldrun] updateDownloadURL => URL too long, rejected\n");
            m_account.noteURLRefused("");
            runNotStarted();
        }
        return true;
    }
    case EndAction::ServerError:
        ::PostMessageA(m_hWnd, WM_USER_SERVERERROR, 0, 0);
        return true;
    }
    return true;
}

bool CUpdateDlg::installPatch()
{
    char commandLine[kCommandLineSize] = {};
    composePatchCommandLine(commandLine, sizeof commandLine, m_job.szLocalPath, m_bSilent != 0);
    traceLog("Run Command: %s\n", commandLine);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(m_bSilent ? SW_HIDE : SW_SHOWNORMAL);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        m_account.notePatchStart(commandLine, false, GetLastError());
        runNotStarted();
        return false;
    }
    CHandleOwner process(pi.hProcess);
    CHandleOwner thread(pi.hThread);
    m_outcome = RunOutcome::PatchStarted;
    m_account.notePatchStart(commandLine, true, 0);
    if (m_bWait) {
        WaitForSingleObject(process.get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        m_dwPatchExitCode = code;
        m_account.notePatchExit(code);
        m_bPatchWaited = true;
    }
    ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
    return true;
}

void CUpdateDlg::onProgress(const ProgressInfo* info)
{
    if (!info)
        return;
    if (info->statusCode == kBindStatusConnecting)
        setStatusText(kStrConnecting);
    else if (info->statusCode == kBindStatusBeginDownloadData)
        setStatusText(kStrDownloading);
    if (info->progressMax == 0)
        return;
    char text[64] = {};
    formatProgressText(text, sizeof text, info->progress, info->progressMax);
    m_progress.SendMessage(PBM_SETPOS, progressPercent(info->progress, info->progressMax), 0);
    m_progress.setText(text);
}
