#include "framework/Wnd.h"
#include "framework/DataExchange.h"
#include "framework/Exception.h"
#include "framework/MessageBox.h"
#include "framework/WinApp.h"

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

void CWnd::SetWindowText(LPCSTR lpszString)
{
    ::SetWindowTextA(m_hWnd, lpszString);
}

void CWnd::GetWindowText(CString& rString) const
{
    const int nLength = ::GetWindowTextLengthA(m_hWnd);
    ::GetWindowTextA(m_hWnd, rString.GetBuffer(nLength), nLength + 1);
    rString.ReleaseBuffer();
}

BOOL CWnd::EnableWindow(BOOL bEnable)
{
    return ::EnableWindow(m_hWnd, bEnable);
}

BOOL CWnd::IsWindowEnabled() const
{
    return ::IsWindowEnabled(m_hWnd);
}

BOOL CWnd::ShowWindow(int nCmdShow)
{
    return ::ShowWindow(m_hWnd, nCmdShow);
}

BOOL CWnd::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

void CWnd::GetClientRect(LPRECT lpRect) const
{
    ::GetClientRect(m_hWnd, lpRect);
}

void CWnd::CenterWindow()
{
    RECT rcWindow;
    ::GetWindowRect(m_hWnd, &rcWindow);
    RECT rcArea;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
    const int x = rcArea.left + ((rcArea.right - rcArea.left) - (rcWindow.right - rcWindow.left)) / 2;
    const int y = rcArea.top + ((rcArea.bottom - rcArea.top) - (rcWindow.bottom - rcWindow.top)) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*)
{
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM, LPARAM, LRESULT*)
{
    if (message == WM_NCDESTROY)
        OnNcDestroy();
    return FALSE;
}

void CWnd::OnPaint()
{
    CPaintDC dc(this);
}

HCURSOR CWnd::OnQueryDragIcon()
{
    return nullptr;
}

void CWnd::OnNcDestroy()
{
    CWinApp* pApp = AfxGetApp();
    if (pApp && pApp->m_pMainWnd == this) {
        pApp->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    m_hWnd = nullptr;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd)
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
}

void AfxProcessWndProcException()
{
    try {
        throw;
    } catch (const CException& e) {
        e.ReportError(MB_ICONSTOP);
    } catch (...) {
        AfxMessageBox(AFX_INTERNAL_FAILURE_TEXT, MB_ICONSTOP);
    }
}
