#pragma once
// CUpdateDlg: the update window of one update run.
//
// The launcher constructs it with the launch settings and its run's driver
// (already told the launch), runs it modally and then reads the outcome
// from that driver. The window decides nothing: it forwards its events to
// the driver (initialised, progress, end of a download, timer tick, Cancel,
// outcome messages) and is the driver's platform (IRunPlatform): status
// line, one download worker at a time, the held download, the patch's
// start, message boxes, the end. Its destructor lets the driver finish and
// traces the outcome line just before "Program End". The worker talks to it
// only through WM_USER_PROGRESS (sent), WM_USER_ENDDOWNLOAD (posted) and the
// cancel event.

#include "common/FileHash.h"
#include "common/Handles.h"
#include "framework/Dialog.h"
#include "framework/Edit.h"
#include "package/PackagePlatform.h"
#include "ui/SkinButton.h"
#include "ui/SkinProgressCtrl.h"
#include "ui/StatusLine.h"
#include "update/DownloadJob.h"
#include "update/RunDriver.h"

// What the launcher learnt before the window runs.
struct UpdateLaunch {
    const char* iniPath = ""; // the extracted patch information file (empty: nothing extracted), for traces
    // The extracted file's bytes, read once where the run holds them: every
    // read of the file goes here, none reopens it by name (null: nothing
    // extracted, every value missing).
    const IProfileReader* profile = nullptr;
    const char* runDir = ""; // the run's own folder, ending in a backslash (empty: none)
    bool wait = false;       // "/w": wait for the started patch
    // The running package's own file as the launcher holds it (null: not
    // held): Signer=package takes its certificate from there.
    const CPackageView* ownPackage = nullptr;
};

class CUpdateDlg : public CDialog, private IRunPlatform {
public:
    // run: the launcher's driver of this run; it outlives the dialog.
    CUpdateDlg(CRunDriver& run, const UpdateLaunch& launch, CWnd* parent = nullptr);
    ~CUpdateDlg() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Enter never ends a run.
    void OnOK() override {}
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    // IRunPlatform
    std::uint64_t nowMs() override;
    void showStatus(unsigned id) override;
    void setTimer(bool on) override;
    bool online() override;
    bool startDownload(const DownloadTarget& target) override;
    void cancelDownload(bool now) override;
    bool heldDigest(unsigned char digest[kSha256Size]) override;
    int heldSigner(const SignerPolicy& policy, std::string& subject) override;
    bool packageSigner(unsigned char digest[kSha256Size]) override;
    void removeDownload(bool atRestart) override;
    PatchStartResult startPatch(const std::string& commandLine, bool silent, bool wait) override;
    void post(RunPost which, int param) override;
    void showBox(unsigned id, bool error) override;
    void end() override;

    void hide();
    void onEndDownload();
    void onProgress(const ProgressInfo* info);
    // Shows the pictures drawn for `dpi`, sizes the window from them and
    // places it (at `suggested`'s corner, or centred when that is null).
    void scaleToDpi(unsigned dpi, const RECT* suggested);

    CRunDriver& m_run;
    char m_szIniPath[kMaxText];
    const IProfileReader& m_profile; // the extracted file, as the launcher read it
    char m_szRunDir[kMaxText];       // the run's own folder, ending in a backslash
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
    bool m_bWaitingForPatch = false;
};
