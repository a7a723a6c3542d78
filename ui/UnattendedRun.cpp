// The unattended run: a worker thread runs the check and the update, and
// reaches the screen only through messages sent to the dialog's windows.
#include "ui/UpdateDlg.h"

DWORD WINAPI UpdateThreadProc(LPVOID pParam)
{
    CUpdateDlg* pDlg = static_cast<CUpdateDlg*>(pParam);
    pDlg->RunUnattendedSteps();
    // The last use of the dialog: it is gone once this returns.
    pDlg->RequestClose();
    return 0;
}

// Nothing escapes: an error's text goes to the status line, and the worker
// goes on to close the dialog. A network error that escapes the check means
// the server could not be reached; a check that failed after its request was
// sent updates nothing and ends as a failure.
void CUpdateDlg::RunUnattendedSteps()
{
    m_nExitCode = EXIT_FAILED;
    BOOL bChecked = FALSE;
    try {
        const BOOL bNewer = CheckVersions();
        bChecked = TRUE;
        if (StopRequested())
            return;
        if (m_bServerUnreachable) {
            m_nExitCode = EXIT_UNREACHABLE;
            return;
        }
        if (m_bSignatureFailed) {
            m_nExitCode = EXIT_SIGNATURE_FAILED;
            return;
        }
        if (m_bCheckFailed) {
            m_nExitCode = EXIT_FAILED;
            return;
        }
        if (!bNewer) {
            m_nExitCode = EXIT_DONE;
            return;
        }
        RunUpdate();
        if (m_bRunComplete && !StopRequested())
            m_nExitCode = EXIT_DONE;
    } catch (const CInternetException& e) {
        m_nExitCode = bChecked ? EXIT_FAILED : EXIT_UNREACHABLE;
        m_strStatus = e.GetErrorText();
        RefreshControls(FALSE);
    } catch (const CException& e) {
        m_strStatus = e.GetErrorText();
        RefreshControls(FALSE);
    } catch (...) {
        m_strStatus = AFX_INTERNAL_FAILURE_TEXT;
        RefreshControls(FALSE);
    }
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

void CUpdateDlg::RequestStop()
{
    InterlockedExchange(&m_lStopRequested, 1);
}

BOOL CUpdateDlg::StopRequested() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_lStopRequested), 0, 0) != 0;
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
