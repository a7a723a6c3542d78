// Runs a dialog's DoModal on a thread of its own, so that the test thread can
// drive the real window with messages while the modal loop runs.
#pragma once
#include "framework/Afx.h"

class CModalRun {
public:
    // Starts the modal run and waits until the dialog is shown.
    explicit CModalRun(CDialog& dlg);
    // Cancels the dialog if it is still open and waits for the run to end.
    ~CModalRun();
    CModalRun(const CModalRun&) = delete;
    CModalRun& operator=(const CModalRun&) = delete;

    HWND Hwnd() const { return m_hWnd; }
    DWORD ThreadId() const { return m_dwThreadId; }
    // True when DoModal has returned within nTimeoutMs.
    bool WaitForEnd(DWORD nTimeoutMs);
    INT_PTR Result() const { return m_nResult; }

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);

    CDialog& m_dlg;
    HANDLE m_hThread = nullptr;
    DWORD m_dwThreadId = 0;
    HWND m_hWnd = nullptr;
    INT_PTR m_nResult = 0;
};
