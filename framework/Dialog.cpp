#include "framework/Dialog.h"

#include "framework/WinApp.h"

#include <commctrl.h>

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd)
{
}

INT_PTR CDialog::DoModal()
{
    INITCOMMONCONTROLSEX icc = { sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES };
    InitCommonControlsEx(&icc);

    m_bEndModal = FALSE;
    m_nModalResult = -1;
    HWND hParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), hParent,
                            DialogProc, reinterpret_cast<LPARAM>(this)))
        return -1;
    RunModalLoop();
    if (m_hWnd) {
        ShowWindow(SW_HIDE);
        DestroyWindow();
    }
    return m_nModalResult;
}

// Runs until EndDialog or the quit message. The window is shown when the
// queue first goes idle, after the initialisation's own messages.
void CDialog::RunModalLoop()
{
    BOOL bShown = FALSE;
    MSG msg;
    while (!m_bEndModal) {
        if (!bShown && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            bShown = TRUE;
            if (m_hWnd) {
                ShowWindow(SW_SHOWNORMAL);
                UpdateWindow(m_hWnd);
            }
            continue;
        }
        const BOOL bResult = GetMessageA(&msg, nullptr, 0, 0);
        if (bResult == 0) {
            // The quit message is not posted again: a quit message left in the
            // queue would end the thread's next message box or modal run at once.
            AfxRecordQuit(msg.wParam);
            break;
        }
        if (bResult == -1)
            break;
        if (m_hWnd == nullptr || !IsDialogMessageA(m_hWnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bEndModal = TRUE;
    // Wakes the modal loop if it waits in GetMessage.
    if (m_hWnd)
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) { OnOK(); *pResult = 0; return TRUE; }
        if (LOWORD(wParam) == IDCANCEL) { OnCancel(); *pResult = 0; return TRUE; }
    }
    if (message == WM_HELP) {
        // F1: the help command goes to the application's command map.
        CWinApp* pApp = AfxGetApp();
        return pApp ? pApp->OnWndMsg(WM_COMMAND, ID_HELP, 0, pResult) : FALSE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, pResult);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* pDialog;
    if (message == WM_INITDIALOG) {
        pDialog = reinterpret_cast<CDialog*>(lParam);
        pDialog->m_hWnd = hWnd;
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    } else {
        pDialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    }
    if (pDialog == nullptr)
        return FALSE;
    if (message == WM_NCDESTROY)
        SetWindowLongPtrA(hWnd, DWLP_USER, 0);

    // No exception crosses the dialog procedure.
    try {
        return pDialog->Dispatch(hWnd, message, wParam, lParam);
    } catch (...) {
        AfxProcessWndProcException();
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

INT_PTR CDialog::Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        const BOOL bFocusDefault = OnInitDialog();
        CenterWindow();
        return bFocusDefault;
    }
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        return FALSE;
    // These messages return their result from the dialog procedure itself;
    // all others through DWLP_MSGRESULT.
    switch (message) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: case WM_COMPAREITEM: case WM_VKEYTOITEM:
    case WM_CHARTOITEM: case WM_QUERYDRAGICON:
        return static_cast<INT_PTR>(lResult);
    default:
        SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    }
}
