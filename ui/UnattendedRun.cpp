// The unattended run: a worker thread runs the check and the update, and
// reaches the screen only through messages sent to the dialog's windows.
#include "ui/UpdateDlg.h"

DWORD WINAPI UpdateThreadProc(LPVOID pParam)
{
    CUpdateDlg* pDlg = static_cast<CUpdateDlg*>(pParam);
    if (pDlg->CheckVersions())
        pDlg->RunUpdate();
    pDlg->RequestClose();
    return 0;
}

BOOL CUpdateDlg::RefreshControls(BOOL bSaveAndValidate)
{
    if (!m_bAutoMode)
        return UpdateData(bSaveAndValidate);
    // The transfer always runs members to controls, on the dialog's thread.
    SendMessage(WM_REFRESH_CONTROLS, 0, 0);
    return TRUE;
}

void CUpdateDlg::RequestClose()
{
    SendMessage(WM_CLOSE_WIZARD, 0, 0);
}

LRESULT CUpdateDlg::OnRefreshControls(WPARAM wParam, LPARAM)
{
    UpdateData(static_cast<BOOL>(wParam));
    return 0;
}

LRESULT CUpdateDlg::OnCloseWizard(WPARAM, LPARAM)
{
    DestroyWindow();
    return 0;
}
