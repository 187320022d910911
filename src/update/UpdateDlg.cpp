#include "update/UpdateDlg.h"

#include "common/FixedBuf.h"
#include "common/SystemDll.h"
#include "common/Trace.h"
#include "framework/WinApp.h"
#include "products/ProductCheck.h"
#include "products/Profile.h"
#include "update/BuildSource.h"
#include "update/DownloadVerdict.h"
#include "update/DownloadWorker.h"
#include "update/LangString.h"
#include "update/PatchPin.h"
#include "update/ProgressText.h"
#include "ui/AboutDlg.h"
#include "ui/WindowPainting.h"

#include "resource.h"

#include <commctrl.h>
#include <process.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstring>

namespace {
enum { kWorkerStopWaitMs = 2000 };

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
    traceRaw(m_account.outcomeLine(m_run).c_str());
    traceLog("[Veldrun] Program End.\n");
    // Members go in reverse order: event, product list, progress bar,
    // edit control, button; then the dialog base.
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
    int check = checkProducts(m_szIniPath, m_products);
    m_account.noteProducts(check, m_products, platformRegistry(), platformProfile(), m_szIniPath);
    step = m_run.onProductsChecked(check);
    apply(step);
    if (step.chooseBuild)
        chooseBuild();
    return TRUE;
}

void CUpdateDlg::chooseBuild()
{
    BuildSource source = readBuildSource(platformProfile(), m_szIniPath);
    int id = getSRIdFromFile(m_szIniPath, m_products, source.run.srNo.c_str());
    traceLog("[Veldrun] getSRIdFromFile => ID: %d\n", id);
    m_account.noteSelection(id, m_products, source.run.srNo.c_str());
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
    if (WaitForSingleObject(m_hThread.get(), kWorkerStopWaitMs) != WAIT_OBJECT_0)
        TerminateThread(m_hThread.get(), 0);
    m_hThread.reset();
    // Its end message belongs to no download any more.
    MSG msg;
    while (m_hWnd && PeekMessageA(&msg, m_hWnd, WM_USER_ENDDOWNLOAD, WM_USER_ENDDOWNLOAD, PM_REMOVE)) {
    }
    return true;
}

void CUpdateDlg::apply(const RunStep& step)
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
    if (step.removeDownload || step.removeAtRestart)
        m_heldDownload.close();
    if (step.removeDownload && m_job.szLocalPath[0])
        DeleteFileA(m_job.szLocalPath);
    // The running patch may still need its file: it goes at the next restart.
    if (step.removeAtRestart && m_job.szLocalPath[0])
        MoveFileExA(m_job.szLocalPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (step.status)
        setStatusText(step.status);
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
    if (!step.download.empty()) {
        if (!updateDownloadURL(step.download.c_str()))
            apply(m_run.onDownloadRefused());
    }
    if (step.startPatch)
        apply(installPatch());
    if (step.box) {
        wchar_t text[kMaxText] = {};
        loadLangString(step.box, text);
        MessageBoxW(nullptr, text, L"Update Utility", MB_OK | (step.boxIsError ? MB_ICONERROR : MB_ICONINFORMATION));
    }
    if (step.quit)
        ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
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

int CUpdateDlg::updateDownloadURL(const char* url)
{
    traceLog("[Veldrun] updateDownloadURL => Source URL: %s\n", url);
    wchar_t wide[kMaxText] = {};
    MultiByteToWideChar(CP_ACP, 0, url, -1, wide, kMaxText - 1);
    if (FAILED(SYSTEM_CALL(L"urlmon.dll", IsValidURL, E_FAIL, (nullptr, wide, 0))))
        return 0;
    if (m_hThread) {
        WaitForSingleObject(m_hThread.get(), INFINITE);
        m_hThread.reset();
    }

    m_job.hWnd = m_hWnd;
    ResetEvent(m_cancelEvent.get());
    m_job.hCancelEvent = m_cancelEvent.get();
    copyBounded(m_job.szURL, sizeof m_job.szURL, url);
    m_job.nVerdict = static_cast<int>(DownloadVerdict::NoFile);
    // The folder's pins bound the transfer: a pinned size stops it as soon
    // as it is passed, and only a pinned build may come without a known end.
    m_job.bPinned = hasPinFor(m_szIniPath, m_run.pinFolder());
    m_job.nSizePin = sizePinFor(m_szIniPath, m_run.pinFolder());
    m_heldDownload.close();
    m_job.pHeld = &m_heldDownload;

    // Only a name inside the run's folder will do: a failure would leave a
    // relative ".exe", fetched into (and started from) wherever the working
    // directory and the search path lead.
    char reserved[kMaxText] = {};
    std::memset(m_job.szLocalPath, 0, sizeof m_job.szLocalPath);
    if (!m_szRunDir[0] || !GetTempFileNameA(m_szRunDir, "", 0, reserved)) {
        traceLog("[Veldrun] updateDownloadURL => no temporary file name, refused\n");
        return 0;
    }
    copyBounded(m_job.szLocalPath, sizeof m_job.szLocalPath, reserved);
    PathRemoveExtensionA(m_job.szLocalPath);
    // ".exe" given by name: the platform's default for a null extension is
    // not honoured everywhere (Wine adds nothing). The empty file keeps the
    // name reserved until the run ends and its folder goes.
    if (!PathAddExtensionA(m_job.szLocalPath, ".exe")) {
        m_job.szLocalPath[0] = '\0';
        return 0;
    }
    traceLog("[Veldrun] updateDownloadURL => Local path: %s\n", m_job.szLocalPath);

    unsigned threadId = 0;
    uintptr_t thread = _beginthreadex(nullptr, 0, &ThreadFunc, &m_job, 0, &threadId);
    if (!thread)
        return 0;
    m_hThread.reset(reinterpret_cast<HANDLE>(thread));
    return 1;
}

bool CUpdateDlg::onEndDownload()
{
    m_hThread.reset();
    traceLog("WindowProc::WM_USER_ENDDOWNLOAD %s\n", m_job.szLocalPath);
    // The worker removed a file that must not be started; its verdict
    // counts, not a file that merely exists. The worker held the file from
    // the end of its transfer; it stays held to the patch's start, so what
    // was checked is what is started.
    auto verdict = static_cast<DownloadVerdict>(m_job.nVerdict);
    bool good = verdict == DownloadVerdict::Good && m_run.downloading() && m_heldDownload.isOpen();
    int pin = good ? checkDownloadPin(m_szIniPath, m_run.pinFolder(), m_job.szLocalPath, &m_heldDownload) : kPinNone;
    // The signer is checked on the same held file, after its pin.
    int signer = kSignerNotChecked;
    std::string signerText;
    if (good && pin != kPinMismatch && m_heldDownload.isOpen() && m_signer.kind != kSignerKeyNone) {
        std::string subject;
        signer = checkPatchSigner(m_signer, m_heldDownload, m_job.szLocalPath, &subject);
        signerText = signerVerdictText(signer, subject);
    }
    RunStep step = m_run.onDownloadEnded(good, pin, describeDownload(verdict, m_job.facts).c_str(), m_job.szLocalPath,
                                         nowMs(), signer, signerText.c_str());
    if (!step.startPatch)
        m_heldDownload.close();
    m_bStartFailed = false;
    apply(step);
    return !m_bStartFailed;
}

RunStep CUpdateDlg::installPatch()
{
    char commandLine[kCommandLineSize] = {};
    copyBounded(commandLine, sizeof commandLine, m_run.commandLine().c_str());
    traceLog("Run Command: %s\n", commandLine);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(m_run.silent() ? SW_HIDE : SW_SHOWNORMAL);
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    DWORD startError = started ? 0 : GetLastError();
    // Held until the process exists: nobody swapped the file in between.
    m_heldDownload.close();
    if (!started) {
        m_bStartFailed = true;
        return m_run.onPatchStartFailed(startError);
    }
    CHandleOwner process(pi.hProcess);
    CHandleOwner thread(pi.hThread);
    DWORD code = 0;
    if (m_bWait) {
        waitForPatch(process.get());
        GetExitCodeProcess(process.get(), &code);
    }
    return m_run.onPatchStarted(m_bWait, code);
}

void CUpdateDlg::waitForPatch(HANDLE process)
{
    // Installers broadcast WM_SETTINGCHANGE with SendMessage, which returns
    // only when every top-level window has answered: this thread goes on
    // dispatching until the patch has ended. Input to the window waits (the
    // patch cannot be cancelled from here), a WM_QUIT is kept for the end.
    m_bWaitingForPatch = true;
    bool reenable = m_hWnd && !EnableWindow(m_hWnd, FALSE);
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken != WAIT_OBJECT_0 + 1) {
            // The wait itself failed: the plain wait, as before.
            WaitForSingleObject(process, INFINITE);
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (reenable)
        EnableWindow(m_hWnd, TRUE);
    m_bWaitingForPatch = false;
    if (quit)
        PostQuitMessage(quitCode);
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
