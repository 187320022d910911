#pragma once
// CUpdateDlg: the update window of one update run.
//
// The launcher constructs it with the launch settings and its own run's
// controller (already told the launch), runs it modally and then reads the
// outcome from that controller. The dialog hands every event to the
// controller (products checked, build chosen, progress, end of a download, timer
// tick, Cancel, patch started, outcome messages) and carries out the
// RunStep it returns: status line, downloads on one worker thread at a
// time, the patch's start, message boxes (none when silent), the end; its
// destructor traces the outcome line just before "Program End". The
// worker talks to it only through WM_USER_PROGRESS (sent),
// WM_USER_ENDDOWNLOAD (posted) and the cancel event.

#include "framework/Dialog.h"
#include "common/Handles.h"
#include "products/ProductInfo.h"
#include "update/DownloadJob.h"
#include "ui/SkinButton.h"
#include "ui/SkinProgressCtrl.h"
#include "ui/StatusLine.h"
#include "common/FileHash.h"
#include "package/PackagePlatform.h"
#include "update/PatchSigner.h"
#include "update/UpdateRun.h"

#include <vector>

// What the launcher learnt before the window runs.
struct UpdateLaunch {
    const char* iniPath = ""; // the extracted patch information file (empty: nothing extracted)
    const char* runDir = "";  // the run's own folder, ending in a backslash (empty: none)
    bool wait = false;        // "/w": wait for the started patch
    // The running package's own file as the launcher holds it (null: not
    // held): Signer=package takes its certificate from there.
    const CPackageView* ownPackage = nullptr;
};

class CUpdateDlg : public CDialog {
public:
    // run: the launcher's controller of this run, told every event; it
    // outlives the dialog.
    CUpdateDlg(CUpdateRun& run, const UpdateLaunch& launch, CWnd* parent = nullptr);
    ~CUpdateDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR id);

    // What carrying out a step came to.
    struct Applied {
        bool patchStartFailed = false;
    };

    // Replaces the status line by string `id` and repaints it.
    void setStatusText(unsigned id);
    // Starts a download of `url` into a new file of the run's folder; false
    // when the URL was rejected or no file name could be made there.
    bool startDownload(const char* url);
    // Carries out what the controller decided, then its answer to a
    // download that could not start or to the patch's start.
    Applied apply(RunStep step);
    void applyTimerAndWorker(const RunStep& step);
    void applyRemoval(const RunStep& step);
    void applyPost(const RunStep& step);
    // WM_USER_ENDDOWNLOAD; false when the patch could not be started.
    bool onEndDownload();
    RunStep installPatch(Applied& applied);
    void onProgress(const ProgressInfo* info);
    // Ends the held worker: cancel event, a short wait, then termination;
    // drops an end message it left. False when no worker was held.
    bool endWorker();
    void chooseBuild();
    // Shows the pictures drawn for `dpi`, sizes the window from them and
    // places it (at `suggested`'s corner, or centred when that is null).
    void scaleToDpi(unsigned dpi, const RECT* suggested);

    CUpdateRun& m_run;
    char m_szIniPath[kMaxText];
    char m_szRunDir[kMaxText]; // the run's own folder, ending in a backslash
    const bool m_bWait;
    const CPackageView* m_pOwnPackage;
    CSkinButton m_btnCancel;
    CStatusLine m_status;
    CSkinProgressCtrl m_progress;
    HICON m_hIcon;
    wchar_t m_szStatusText[kMaxText];
    CBitmapOwner m_hBackground;
    DownloadJob m_job;
    CHandleOwner m_cancelEvent;
    CHandleOwner m_hThread;
    UINT_PTR m_nTimer;
    CHeldFile m_heldDownload; // the download, held from the end of its transfer until its process exists
    SignerPolicy m_signer;    // [SRInfo] Signer, with the package's own certificate for "package"
    bool m_bWaitingForPatch = false;
};
