#include "tests/support/ModalRun.h"

CModalRun::CModalRun(CDialog& dlg) : m_dlg(dlg)
{
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, &m_dwThreadId);
    const DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < 10000) {
        HWND hWnd = m_dlg.m_hWnd;
        if (hWnd && IsWindowVisible(hWnd)) {
            m_hWnd = hWnd;
            break;
        }
        if (WaitForSingleObject(m_hThread, 5) == WAIT_OBJECT_0)
            break;
    }
}

CModalRun::~CModalRun()
{
    if (!WaitForEnd(0) && IsWindow(m_hWnd))
        PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    WaitForSingleObject(m_hThread, 30000);
    CloseHandle(m_hThread);
}

bool CModalRun::WaitForEnd(DWORD nTimeoutMs)
{
    return WaitForSingleObject(m_hThread, nTimeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI CModalRun::ThreadProc(LPVOID pParam)
{
    CModalRun* pThis = static_cast<CModalRun*>(pParam);
    pThis->m_nResult = pThis->m_dlg.DoModal();
    return 0;
}
