// CDialog: a dialog built from a dialog template resource, run modally by
// DoModal with the framework's own modal loop.
#pragma once
#include <windows.h>
#include "framework/Wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Creates the window, runs the modal loop and destroys the window.
    // Returns the EndDialog result, or -1 when the window could not be created
    // or the loop ended on the quit message.
    virtual INT_PTR DoModal();
    // Ends the modal loop with nResult.
    void EndDialog(int nResult);

    // WM_INITDIALOG: controls to members exchange (members to controls).
    virtual BOOL OnInitDialog();

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

protected:
    // IDOK: controls to members, then EndDialog(IDOK).
    virtual void OnOK();
    // IDCANCEL (the Cancel button, Esc, the close box): EndDialog(IDCANCEL).
    virtual void OnCancel();

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void RunModalLoop();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    BOOL m_bEndModal = FALSE;
    int m_nModalResult = -1;
};
