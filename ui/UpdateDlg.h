// CUpdateDlg: the update wizard, the program's only window and the owner of
// all run-time state. Its operations are spread over the subsystem folders:
// settings/ (catalogue, settings replacement), transfer/ (version check,
// download, update run) and ui/ (the dialog itself, the unattended run).
#pragma once
#include "framework/Afx.h"
#include "settings/UpdateFileInfo.h"
#include "ui/resource.h"

// The dialog's private messages, both sent with SendMessage.
#define WM_REFRESH_CONTROLS (WM_USER + 1000)  // wParam: the UpdateData argument
#define WM_CLOSE_WIZARD     (WM_USER + 1001)

// Captions of the wizard button: the wizard's state.
extern const char CAPTION_NEXT[];    // "下一步(&N)"
extern const char CAPTION_UPDATE[];  // "更新(&U)"
extern const char CAPTION_FINISH[];  // "完成(&O)"

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
    // Settings replacement (settings/SettingsReplace.cpp).
    void ReplaceSettingsFile();
    // Version check (transfer/VersionCheck.cpp): TRUE when an item is newer.
    BOOL CheckVersions();
    // One file's download and swap into place (transfer/FileDownload.cpp).
    BOOL FetchFile(CString strServerPath, CString strLocalName, CString& strResultText);
    // The update run over every marked item (transfer/UpdateRun.cpp).
    void RunUpdate();
    // Unattended run (ui/UnattendedRun.cpp): closes the dialog from the worker.
    void RequestClose();

    // Brings m_strStatus onto the screen (bSaveAndValidate FALSE), on the
    // dialog's thread in both kinds of run.
    virtual BOOL RefreshControls(BOOL bSaveAndValidate);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnPaint();
    HCURSOR OnQueryDragIcon();
    LRESULT OnRefreshControls(WPARAM wParam, LPARAM lParam);
    LRESULT OnCloseWizard(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};

// The unattended run's worker: check, update when something is newer, close.
DWORD WINAPI UpdateThreadProc(LPVOID pParam);
