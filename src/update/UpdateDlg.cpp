#include "update/UpdateDlg.h"

#include "common/FixedBuf.h"
#include "common/SystemDll.h"
#include "common/Trace.h"
#include "framework/WinApp.h"
#include "products/ProductCheck.h"
#include "products/Profile.h"
#include "update/BuildSource.h"
#include "update/DownloadVerdict.h"
#include "update/DownloadStart.h"
#include "update/LangString.h"
#include "update/PatchPin.h"
#include "update/PatchStart.h"
#include "update/ProgressText.h"
#include "ui/AboutDlg.h"
#include "ui/WindowPainting.h"

#include "resource.h"

#include <commctrl.h>
#include <wininet.h>

#include <cstring>

namespace {
// The worker sees the cancel event at once; this bound is for a platform
// call that never returns.
enum { kWorkerStopWaitMs = 15000 };

std::uint64_t nowMs()
{
    return GetTickCount64();
}
} // namespace

CUpdateDlg::CUpdateDlg(CUpdateRun& run, const UpdateLaunch& launch, CWnd* parent)
    : CDialog(IDD_UPDATE_DIALOG, parent), m_run(run), m_szIniPath{}, m_szRunDir{}, m_bWait(launch.wait),
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
    // A worker still held is told to stop before it is waited for; its
    // download is started by nobody.
    bool ended = endWorker();
    m_heldDownload.close();
    if (ended)
        DeleteFileA(m_job.szLocalPath);
    if (m_nTimer) {
        if (m_hWnd)
            KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
    traceRaw(m_run.outcomeLine().c_str());
    traceLog("[Veldrun] Program End.\n");
    // Members go in reverse order, the controls last; then the dialog base.
}

void CUpdateDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDCANCEL, m_btnCancel);
    DDX_Control(pDX, IDC_STATUS, m_editStatus);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
}

BOOL CUpdateDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU sysMenu = GetSystemMenu(m_hWnd, FALSE)) {
        char about[kMaxText] = {};
        LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof about);
        if (about[0]) {
            AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    wchar_t caption[kMaxText] = {};
    loadLangString(IDS_CANCEL, caption);
    m_btnCancel.setCaption(caption);
    m_btnCancel.setTextColor(RGB(255, 255, 255));
    m_btnCancel.setSkin(IDB_BTN_NORMAL, IDB_BTN_DOWN, IDB_BTN_OVER, 0, 0, 0, 1, 0, 0);

    RunStep step = m_run.onInitDialog();
    apply(step);
    if (!step.checkProducts)
        return TRUE;
    std::vector<ProductInfo> products;
    ProductReasons reasons;
    int check = checkProducts(m_szIniPath, products, &reasons);
    step = m_run.onProductsChecked(check, products, reasons);
    apply(step);
    if (step.chooseBuild)
        chooseBuild();
    return TRUE;
}

void CUpdateDlg::chooseBuild()
{
    BuildSource source = readBuildSource(platformProfile(), m_szIniPath);
    int id = getSRIdFromFile(m_szIniPath, m_run.products(), source.run.srNo.c_str());
    traceLog("[Veldrun] getSRIdFromFile => ID: %d\n", id);
    // Only the window holds the package.
    addPackageSigner(source, [this](unsigned char digest[kSha256Size]) {
        return m_pOwnPackage && readPackageSigner(*m_pOwnPackage, digest);
    });
    m_signer = source.signer;
    apply(m_run.onBuildChosen(id, source.run, nowMs()));
}

void CUpdateDlg::setStatusText(unsigned id)
{
    std::memset(m_szStatusText, 0, sizeof m_szStatusText);
    loadLangString(id, m_szStatusText);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CUpdateDlg::OnCancel()
{
    // The started patch is waited for to its end; a close sent meanwhile
    // changes nothing.
    if (m_bWaitingForPatch)
        return;
    apply(m_run.onCancel());
    CDialog::OnCancel();
}

bool CUpdateDlg::endWorker()
{
    if (!m_hThread)
        return false;
    SetEvent(m_cancelEvent.get());
    if (!waitForDownloadWorker(m_hThread.get(), kWorkerStopWaitMs)) {
        traceLog("[Veldrun] The download worker did not end within %d ms: terminated\n", kWorkerStopWaitMs);
        TerminateThread(m_hThread.get(), 0);
    }
    m_hThread.reset();
    // Its end message belongs to no download any more.
    MSG msg;
    while (m_hWnd && PeekMessageA(&msg, m_hWnd, WM_USER_ENDDOWNLOAD, WM_USER_ENDDOWNLOAD, PM_REMOVE)) {
    }
    return true;
}

CUpdateDlg::Applied CUpdateDlg::apply(RunStep step)
{
    Applied applied;
    for (;;) {
        applyTimerAndWorker(step);
        applyRemoval(step);
        if (step.status)
            setStatusText(step.status);
        applyPost(step);
        // A download the window could not start and the patch's start have
        // the controller's answer, carried out after this step.
        bool answered = false;
        RunStep answer;
        if (!step.download.empty() && !startDownload(step.download.c_str())) {
            answer = m_run.onDownloadRefused();
            answered = true;
        }
        if (step.startPatch) {
            answer = installPatch(applied);
            answered = true;
        }
        if (step.box) {
            wchar_t text[kMaxText] = {};
            loadLangString(step.box, text);
            MessageBoxW(nullptr, text, L"Update Utility",
                        MB_OK | (step.boxIsError ? MB_ICONERROR : MB_ICONINFORMATION));
        }
        if (step.quit)
            ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
        if (!answered)
            return applied;
        step = answer;
    }
}

void CUpdateDlg::applyTimerAndWorker(const RunStep& step)
{
    if (step.startTimer && m_nTimer == 0)
        m_nTimer = SetTimer(m_hWnd, kConnectivityTimerId, kConnectivityPeriodMs, nullptr);
    if (step.stopTimer && m_nTimer) {
        KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
    if (step.cancelWorker && m_hThread)
        SetEvent(m_cancelEvent.get());
    if (step.endWorker)
        endWorker();
}

void CUpdateDlg::applyRemoval(const RunStep& step)
{
    if (step.removeDownload || step.removeAtRestart)
        m_heldDownload.close();
    if (step.removeDownload && m_job.szLocalPath[0])
        DeleteFileA(m_job.szLocalPath);
    // The running patch may still need its file: it goes at the next restart.
    if (step.removeAtRestart && m_job.szLocalPath[0])
        MoveFileExA(m_job.szLocalPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void CUpdateDlg::applyPost(const RunStep& step)
{
    switch (step.post) {
    case RunPost::ProductError:
        ::PostMessageA(m_hWnd, WM_USER_PRODUCTERROR, static_cast<WPARAM>(step.postParam), 0);
        break;
    case RunPost::ServerError:
        ::PostMessageA(m_hWnd, WM_USER_SERVERERROR, 0, 0);
        break;
    case RunPost::Patched:
        ::PostMessageA(m_hWnd, WM_USER_PATCHED, 0, 0);
        break;
    case RunPost::None:
        break;
    }
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
        if (m_run.silent()) {
            reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
            traceLog("WindowProc::WM_WINDOWPOSCHANGING\n");
        }
        break;
    case WM_USER_PRODUCTERROR:
        apply(m_run.onOutcomeMessage(RunPost::ProductError, static_cast<int>(wParam)));
        break;
    case WM_USER_SERVERERROR:
        traceLog("WindowProc::WM_USER_SERVERERROR\n");
        apply(m_run.onOutcomeMessage(RunPost::ServerError, 0));
        break;
    case WM_USER_PATCHED:
        traceLog("WindowProc::WM_USER_PATCHED\n");
        apply(m_run.onOutcomeMessage(RunPost::Patched, 0));
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
    CPaintDCOwner dc(m_hWnd);
    paintMinimizedIcon(m_hWnd, dc.get(), m_hIcon);
}

HCURSOR CUpdateDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CUpdateDlg::OnTimer(UINT_PTR)
{
    DWORD flags = 0;
    // The platform is asked only while a worker runs.
    bool connected = !m_run.downloading() || !m_hThread ||
                     SYSTEM_CALL(L"wininet.dll", InternetGetConnectedState, FALSE, (&flags, 0));
    apply(m_run.onTimerTick(connected, nowMs()));
}

bool CUpdateDlg::startDownload(const char* url)
{
    DownloadTarget target;
    target.url = url;
    target.runDir = m_szRunDir;
    target.iniPath = m_szIniPath;
    target.pinFolder = m_run.pinFolder();
    return startDownloadWorker(target, m_hWnd, m_cancelEvent.get(), m_job, m_heldDownload, m_hThread);
}

bool CUpdateDlg::onEndDownload()
{
    m_hThread.reset();
    traceLog("WindowProc::WM_USER_ENDDOWNLOAD %s\n", m_job.szLocalPath);
    // The worker removed a file that must not be started; its verdict
    // counts, not a file that merely exists. The worker held the file from
    // the end of its transfer; it stays held to the patch's start, so what
    // was checked is what is started. The controller says which checks the
    // file gets.
    auto verdict = static_cast<DownloadVerdict>(m_job.nVerdict);
    bool good = verdict == DownloadVerdict::Good && m_heldDownload.isOpen();
    int pin = good && m_run.checksPin()
                  ? checkDownloadPin(m_szIniPath, m_run.pinFolder(), m_job.szLocalPath, &m_heldDownload)
                  : kPinNone;
    // The signer is checked on the same held file, after its pin.
    int signer = kSignerNotChecked;
    std::string signerText;
    if (good && m_run.checksSigner(pin) && m_heldDownload.isOpen()) {
        std::string subject;
        signer = checkPatchSigner(m_signer, m_heldDownload, m_job.szLocalPath, &subject);
        signerText = signerVerdictText(signer, subject);
    }
    RunStep step = m_run.onDownloadEnded(good, pin, describeDownload(verdict, m_job.facts).c_str(), m_job.szLocalPath,
                                         nowMs(), signer, signerText.c_str());
    if (!step.startPatch)
        m_heldDownload.close();
    return !apply(step).patchStartFailed;
}

RunStep CUpdateDlg::installPatch(Applied& applied)
{
    PatchStartResult result =
        startPatch(m_run.commandLine(), m_run.silent(), m_bWait, m_heldDownload, m_hWnd, m_bWaitingForPatch);
    if (!result.started) {
        applied.patchStartFailed = true;
        return m_run.onPatchStartFailed(result.error);
    }
    return m_run.onPatchStarted(m_bWait, result.exitCode);
}

void CUpdateDlg::onProgress(const ProgressInfo* info)
{
    if (!info)
        return;
    apply(m_run.onProgress(info->statusCode, nowMs()));
    if (info->progressMax == 0)
        return;
    char text[64] = {};
    formatProgressText(text, sizeof text, info->progress, info->progressMax);
    m_progress.SendMessage(PBM_SETPOS, progressPercent(info->progress, info->progressMax), 0);
    m_progress.setText(text);
}
