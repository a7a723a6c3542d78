// CWnd: a C++ object over one window handle. It does not own the window:
// the window's own life (DestroyWindow, WM_NCDESTROY) clears m_hWnd.
#pragma once
#include <windows.h>
#include "framework/CmdTarget.h"
#include "framework/String.h"

class CDataExchange;

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach() { HWND h = m_hWnd; m_hWnd = nullptr; return h; }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void SetWindowText(LPCSTR lpszString);
    void GetWindowText(CString& rString) const;
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL ShowWindow(int nCmdShow);
    BOOL IsIconic() const;
    void GetClientRect(LPRECT lpRect) const;
    void CenterWindow();
    virtual BOOL DestroyWindow();

    // Moves data between the members and the controls (bSaveAndValidate
    // FALSE: members to controls) through DoDataExchange.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* pDX);

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

protected:
    // Default painting: validates the update region.
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    // The window is gone: the main window's end posts the quit message.
    virtual void OnNcDestroy();
};

// A paint context for one WM_PAINT.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

    PAINTSTRUCT m_ps;
private:
    HWND m_hWnd;
    HDC m_hDC;
};

// Handles an exception that escaped a message handler: a box with the stop
// icon and the error's own text, or the generic text. Call inside a catch.
void AfxProcessWndProcException();
