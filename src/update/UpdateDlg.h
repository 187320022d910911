#pragma once
// CUpdateDlg: the update window and the controller of one update run.
//
// The launcher constructs it, writes m_szIniPath, m_bSilent and m_bWait,
// runs it modally and then reads exitStatus(). From OnInitDialog on the
// dialog checks the products, picks the build, downloads it on one worker
// thread at a time (falling back once to the "Max" folder), starts the
// patch, or ends in a message box (none when silent). The worker talks to
// it only through WM_USER_PROGRESS (sent), WM_USER_ENDDOWNLOAD (posted) and
// the cancel event.

#include "framework/Dialog.h"
#include "framework/Edit.h"
#include "common/Handles.h"
#include "products/ProductInfo.h"
#include "update/DownloadJob.h"
#include "ui/SkinButton.h"
#include "ui/SkinProgressCtrl.h"
#include "update/UpdateRules.h"

#include <vector>

class CUpdateDlg : public CDialog {
public:
    explicit CUpdateDlg(CWnd* parent = nullptr);
    ~CUpdateDlg() override;

    // Replaces the status line by string `id` and repaints it.
    void setStatusText(unsigned id);
    // Starts a download of `url`. Returns 1 when a worker was started, 0
    // when the URL was rejected (the run then cannot go on: a silent run
    // ends with exit status 6, a visible one waits for Cancel).
    int updateDownloadURL(const char* url);

    // The process exit status of the run, once the modal run has returned.
    int exitStatus() const;

    CSkinButton m_btnCancel;
    CEdit m_editStatus;
    CSkinProgressCtrl m_progress;
    HICON m_hIcon;
    char m_szIniPath[kJobTextSize];
    char m_szServerURL[kJobTextSize];
    char m_szSRNo[kJobTextSize];
    int m_bAllowFallback;
    int m_nSRId = -1; // the selection result (-1 generic): which pin each download must match
    int m_bSilent;
    int m_bWait;
    wchar_t m_szStatusText[kJobTextSize];
    CBitmapOwner m_hBackground;
    std::vector<ProductInfo> m_products;
    DownloadJob m_job;
    CHandleOwner m_cancelEvent;
    CHandleOwner m_hThread;
    unsigned int m_nThreadId;
    UINT_PTR m_nTimer;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR id);

    // The product check and build selection over m_products.
    int checkProducts(const char* iniPath);
    int getSRIdFromFile(const char* iniPath);

private:
    // WM_USER_ENDDOWNLOAD; false when the patch could not be started.
    bool onEndDownload();
    bool installPatch();
    void onProgress(const ProgressInfo* info);
    // The three outcome messages: message box unless silent, then WM_QUIT.
    void endWithMessage(RunOutcome outcome, unsigned stringId, UINT icon);
    // A download or the patch could not be started: nothing more can
    // happen. A silent run ends; a visible one waits for Cancel.
    void runNotStarted();

    RunOutcome m_outcome = RunOutcome::Running;
    bool m_bPatchWaited = false;
    unsigned long m_dwPatchExitCode = 0;
};
