#include "update/UpdateDlg.h"

#include "common/FixedBuf.h"
#include "common/SystemDll.h"
#include "common/Trace.h"
#include "framework/WinApp.h"
#include "products/HeldProfile.h"
#include "update/DownloadStart.h"
#include "update/LangString.h"
#include "update/PatchStart.h"
#include "update/ProgressText.h"
#include "ui/AboutDlg.h"
#include "ui/WindowDpi.h"
#include "ui/WindowPainting.h"

#include "resource.h"

#include <commctrl.h>
#include <wininet.h>

#include <cstring>

namespace {
const IProfileReader& launchProfile(const UpdateLaunch& launch)
{
    static const CHeldProfileReader nothingExtracted;
    return launch.profile ? *launch.profile : nothingExtracted;
}
} // namespace

CUpdateDlg::CUpdateDlg(CRunDriver& run, const UpdateLaunch& launch, CWnd* parent)
    : CDialog(IDD_UPDATE_DIALOG, parent), m_run(run), m_szIniPath{}, m_profile(launchProfile(launch)), m_szRunDir{},
      m_bWait(launch.wait),
      m_pOwnPackage(launch.ownPackage && launch.ownPackage->isHeld() ? launch.ownPackage : nullptr),
      m_hIcon(nullptr), m_szStatusText{}, m_job{}, m_cancelEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_nTimer(0)
{
    copyBounded(m_szIniPath, sizeof m_szIniPath, launch.iniPath);
    copyBounded(m_szRunDir, sizeof m_szRunDir, launch.runDir);
    HINSTANCE inst = AfxGetResourceHandle();
    m_hIcon = LoadIconA(inst, MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_hBackground.reset(static_cast<HBITMAP>(
        LoadImageA(inst, MAKEINTRESOURCEA(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

CUpdateDlg::~CUpdateDlg()
{
    m_run.finish();
    setTimer(false);
    traceRaw(m_run.outcomeLine().c_str());
    traceLog("[Veldrun] Program End.\n");
    // Members go in reverse order, the controls last; then the dialog base.
}

void CUpdateDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDCANCEL, m_btnCancel);
    DDX_Control(pDX, IDC_STATUS, m_status);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
}

BOOL CUpdateDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    appendAboutEntry(m_hWnd);
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    wchar_t caption[kMaxText] = {};
    loadLangString(IDS_CANCEL, caption);
    m_btnCancel.setCaption(caption);
    m_btnCancel.setTextColor(RGB(255, 255, 255));
    m_btnCancel.setSkin(IDB_BTN_NORMAL, IDB_BTN_DOWN, IDB_BTN_OVER, 0, IDB_BTN_FOCUS, 0, 1, 0, 0);
    scaleToDpi(windowDpi(m_hWnd), nullptr);

    RunPlace place;
    place.profile = &m_profile;
    place.iniPath = m_szIniPath;
    place.runDir = m_szRunDir;
    place.wait = m_bWait;
    m_run.start(*this, platformRegistry(), place);
    return TRUE;
}

void CUpdateDlg::scaleToDpi(unsigned dpi, const RECT* suggested)
{
    m_hBackground.reset(loadArt(IDB_BACKGROUND, dpi));
    m_btnCancel.setArtDpi(dpi);
    m_progress.setArtDpi(dpi);
    m_status.setLook(dpi, m_hBackground.get() != nullptr);
    placeUpdateWindow(m_hWnd, dpi, suggested);
}

void CUpdateDlg::OnCancel()
{
    // The started patch is waited for to its end; a close sent meanwhile
    // changes nothing.
    if (!m_bWaitingForPatch)
        m_run.onCancel();
}

LRESULT CUpdateDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_USER_ENDDOWNLOAD:
        onEndDownload();
        break;
    case WM_USER_PROGRESS:
        onProgress(reinterpret_cast<const ProgressInfo*>(lParam));
        break;
    case WM_WINDOWPOSCHANGING:
        if (m_run.silent()) {
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
            traceLog("WindowProc::WM_WINDOWPOSCHANGING\n");
        }
        break;
    case WM_DPICHANGED:
        scaleToDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_USER_PRODUCTERROR:
        m_run.onOutcomeMessage(RunPost::ProductError, static_cast<int>(wParam));
        break;
    case WM_USER_SERVERERROR:
    case WM_USER_PATCHED: {
        const bool server = message == WM_USER_SERVERERROR;
        traceLog(server ? "WindowProc::WM_USER_SERVERERROR\n" : "WindowProc::WM_USER_PATCHED\n");
        m_run.onOutcomeMessage(server ? RunPost::ServerError : RunPost::Patched, 0);
        break;
    }
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

bool CUpdateDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{

    switch (message) {
    case WM_PAINT:
        if (IsIconic(m_hWnd)) {
            CPaintDCOwner dc(m_hWnd);
            paintMinimizedIcon(m_hWnd, dc.get(), m_hIcon);
        } else {
            Default();
        }
        *result = 0;
        return true;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(m_hIcon);
        return true;
    case WM_TIMER:
        if (wParam != kConnectivityTimerId)
            break;
        m_run.onTimerTick();
        *result = 0;
        return true;
    case WM_ERASEBKGND:
        // The window painting draws the background, the status line draws
        // itself over it; without a picture the default erasing runs.
        if (paintUpdateBackground(reinterpret_cast<HDC>(wParam), m_hWnd, m_hBackground.get())) {
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

void CUpdateDlg::onEndDownload()
{
    m_hThread.reset();
    traceLog("WindowProc::WM_USER_ENDDOWNLOAD %s\n", m_job.szLocalPath);
    DownloadEnd end;
    end.verdict = static_cast<DownloadVerdict>(m_job.nVerdict);
    end.facts = m_job.facts;
    end.held = end.verdict == DownloadVerdict::Good && m_heldDownload.isOpen();
    end.localPath = m_job.szLocalPath;
    m_run.onDownloadEnded(end);
}

void CUpdateDlg::onProgress(const ProgressInfo* info)
{
    if (!info)
        return;
    m_run.onProgress(info->statusCode, info->progress);
    if (info->progressMax == 0)
        return;
    char text[64] = {};
    formatProgressText(text, sizeof text, info->progress, info->progressMax);
    m_progress.SendMessage(PBM_SETPOS, progressPercent(info->progress, info->progressMax), 0);
    m_progress.setText(text);
}

// The driver's platform.

std::uint64_t CUpdateDlg::nowMs()
{
    return GetTickCount64();
}

void CUpdateDlg::showStatus(unsigned id)
{
    std::memset(m_szStatusText, 0, sizeof m_szStatusText);
    loadLangString(id, m_szStatusText);
    m_status.setText(m_szStatusText);
}

void CUpdateDlg::setTimer(bool on)
{
    if (on && m_nTimer == 0 && m_hWnd)
        m_nTimer = SetTimer(m_hWnd, kConnectivityTimerId, kConnectivityPeriodMs, nullptr);
    if (!on && m_nTimer && (!m_hWnd || KillTimer(m_hWnd, m_nTimer)))
        m_nTimer = 0;
}

bool CUpdateDlg::online()
{
    DWORD flags = 0;
    return SYSTEM_CALL(L"wininet.dll", InternetGetConnectedState, FALSE, (&flags, 0)) != FALSE;
}

bool CUpdateDlg::startDownload(const DownloadTarget& target)
{
    return startDownloadWorker(target, m_hWnd, m_cancelEvent.get(), m_job, m_heldDownload, m_hThread);
}

void CUpdateDlg::cancelDownload(bool now)
{
    stopDownloadWorker(m_hThread, m_cancelEvent.get(), m_hWnd, now);
}

bool CUpdateDlg::heldDigest(unsigned char digest[kSha256Size])
{
    return m_heldDownload.isOpen() && m_heldDownload.sha256(digest);
}

int CUpdateDlg::heldSigner(const SignerPolicy& policy, std::string& subject)
{
    return m_heldDownload.isOpen() ? checkPatchSigner(policy, m_heldDownload, m_job.szLocalPath, &subject)
                                   : kSignerBadSignature;
}

bool CUpdateDlg::packageSigner(unsigned char digest[kSha256Size])
{
    return m_pOwnPackage && readPackageSigner(*m_pOwnPackage, digest);
}

void CUpdateDlg::removeDownload(bool atRestart)
{
    m_heldDownload.close();
    if (!m_job.szLocalPath[0])
        return;
    if (atRestart)
        MoveFileExA(m_job.szLocalPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    else
        DeleteFileA(m_job.szLocalPath);
}

PatchStartResult CUpdateDlg::startPatch(const std::string& commandLine, bool silent, bool wait)
{
    return ::startPatch(commandLine, m_szRunDir, silent, wait, m_heldDownload, m_hWnd, m_bWaitingForPatch);
}

void CUpdateDlg::post(RunPost which, int param)
{
    const UINT message[] = {0, WM_USER_PRODUCTERROR, WM_USER_SERVERERROR, WM_USER_PATCHED};
    if (which != RunPost::None)
        ::PostMessageA(m_hWnd, message[static_cast<int>(which)], static_cast<WPARAM>(param), 0);
}

void CUpdateDlg::showBox(unsigned id, bool error)
{
    wchar_t text[kMaxText] = {};
    loadLangString(id, text);
    // The box says how the run ended; the window goes before it comes, so
    // that nothing stays once it is answered.
    hide();
    MessageBoxW(nullptr, text, L"Update Utility", MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

void CUpdateDlg::hide()
{
    if (m_hWnd && ::IsWindowVisible(m_hWnd))
        ::ShowWindow(m_hWnd, SW_HIDE);
}

void CUpdateDlg::end()
{
    // The window goes at once; what is left to end (a worker told to stop)
    // happens out of sight.
    hide();
    ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
}
