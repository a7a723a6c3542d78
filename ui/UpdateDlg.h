// CUpdateDlg: the update wizard, the program's only window and the owner of
// all run-time state. Its operations are spread over the subsystem folders:
// settings/ (catalogue, settings replacement), transfer/ (version check,
// download, update run) and ui/ (the dialog itself, the unattended run).
#pragma once
#include "framework/Afx.h"
#include "settings/UpdateFileInfo.h"
#include "ui/resource.h"

class CSha256;

// The dialog's private messages, both sent with SendMessage.
#define WM_REFRESH_CONTROLS (WM_USER + 1000)  // wParam: the UpdateData argument
#define WM_CLOSE_WIZARD     (WM_USER + 1001)

// Captions of the wizard button: the wizard's state.
extern const char CAPTION_NEXT[];    // "下一步(&N)"
extern const char CAPTION_UPDATE[];  // "更新(&U)"
extern const char CAPTION_FINISH[];  // "完成(&O)"

// Exit codes of the program.
enum {
    EXIT_DONE = 0,             // nothing newer, or every file updated and the settings replaced
    EXIT_FAILED = 1,           // a file failed, the run stopped, an error escaped, or no settings replaced
    EXIT_UNREACHABLE = 2,      // the server could not be reached
    EXIT_ALREADY_RUNNING = 3,  // another updater runs for this installation
    EXIT_SIGNATURE_FAILED = 4, // the server's settings copy failed its signature check
};

class CUpdateDlg : public CDialog {
public:
    explicit CUpdateDlg(CWnd* pParent = nullptr);
    ~CUpdateDlg() override;

    enum { IDD = IDD_UPDATE_DIALOG };

    // Members in construction order.
    CUpdateFileArray m_arrFiles;
    CString m_strServer;
    CString m_strVersionPath;
    bool m_bAutoMode;
    WORD m_nPort;
    CButton m_btnNext;
    CListBox m_listFiles;
    CProgressCtrl m_progress;
    CString m_strStatus;
    CString m_strTempDir;
    CString m_strAppDir;
    HICON m_hIcon;
    DWORD m_dwRequestFlags;
    CString m_strUpdateRoot;

    // File catalogue (settings/FileCatalogue.cpp).
    void SplitString(CString strText, char chDelimiter, CStringArray& arrPieces);
    void LoadFileList();
    // Settings replacement (settings/SettingsReplace.cpp): the items whose
    // download did not complete keep their installed version in the record.
    // TRUE when the installed settings were replaced.
    BOOL ReplaceSettingsFile(const CUpdateFileArray& arrIncomplete);
    // Version check (transfer/VersionCheck.cpp): TRUE when an item is newer.
    BOOL CheckVersions();
    // One file's download and swap into place (transfer/FileDownload.cpp).
    BOOL FetchFile(CString strServerPath, CString strLocalName, CString& strResultText);
    // The update run over every marked item (transfer/UpdateRun.cpp).
    void RunUpdate();
    // Unattended run (ui/UnattendedRun.cpp): closes the dialog from the worker.
    void RequestClose();
    // The worker's steps: the check, the update when something is newer, and
    // the exit code; every error is caught and put on the status line.
    void RunUnattendedSteps();

    // Cancel while a step runs: the step stops at its next safe point (before
    // the next item, or inside a download, which is then abandoned). Any thread.
    void RequestStop();
    BOOL StopRequested() const;

    // Set by the version check when its request could not be sent.
    BOOL m_bServerUnreachable;
    // Set by the version check when its request was sent but the server's
    // copy was not stored whole (an error in its guarded block, or a body cut
    // short): the comparison had nothing fetched now to go by.
    BOOL m_bCheckFailed;
    // Set by the version check when the installed settings pin a signing key
    // and the server's copy failed its signature check.
    BOOL m_bSignatureFailed;
    // Set by the update run: every marked file came into place and the
    // installed settings were replaced.
    BOOL m_bRunComplete;
    // The exit code of an unattended run (EXIT_*), final once the worker ends.
    int m_nExitCode;

    // Brings m_strStatus onto the screen (bSaveAndValidate FALSE), on the
    // dialog's thread in both kinds of run.
    virtual BOOL RefreshControls(BOOL bSaveAndValidate);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    LRESULT OnRefreshControls(WPARAM wParam, LPARAM lParam);
    LRESULT OnCloseWizard(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    // Steps of the version check (transfer/VersionCheck.cpp).
    BOOL FetchVersionCopy(INTERNET_PORT nPort, DWORD dwFlags, const CString& strCopy, CSha256& digest);
    void ShowCheckOutcome(const char* pszStatus, BOOL bNewer);
    // Steps of a file's download (transfer/FileDownload.cpp).
    BOOL SendFileRequest(CHttpFile& request);
    BOOL ShowFileOutcome(const CString& strText, CString& strResultText, BOOL bResult);

    BOOL m_bStepRunning;             // a button's step is running: presses are ignored
    volatile LONG m_lStopRequested;  // set by RequestStop
    HANDLE m_hWorker;                // the unattended run's worker, joined by the destructor
};

// The unattended run's worker: check, update when something is newer, close.
DWORD WINAPI UpdateThreadProc(LPVOID pParam);
