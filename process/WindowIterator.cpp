#include "process/WindowIterator.h"

CWindowIterator::CWindowIterator(DWORD nCapacity)
    : m_pWindows(new HWND[nCapacity]), m_nCapacity(nCapacity), m_nCount(0), m_nCursor(0)
{
}

BOOL CWindowIterator::CollectWindow(HWND hwnd)
{
    if (AcceptWindow(hwnd) && m_nCount < m_nCapacity)
        m_pWindows[m_nCount++] = hwnd;
    return TRUE;
}

BOOL CWindowIterator::AcceptWindow(HWND)
{
    return TRUE;
}

HWND CWindowIterator::FirstWindow()
{
    m_nCursor = 0;
    return NextWindow();
}

HWND CWindowIterator::NextWindow()
{
    if (!m_pWindows || m_nCursor >= m_nCount)
        return nullptr;
    return m_pWindows[m_nCursor++];
}

BOOL CALLBACK CWindowIterator::EnumWindowsCallback(HWND hwnd, LPARAM lParam)
{
    return reinterpret_cast<CWindowIterator*>(lParam)->CollectWindow(hwnd);
}

CMainWindowIterator::CMainWindowIterator(DWORD dwProcessId, BOOL bVisibleOnly, DWORD nCapacity)
    : CWindowIterator(nCapacity), m_dwProcessId(dwProcessId), m_bVisibleOnly(bVisibleOnly)
{
}

BOOL CMainWindowIterator::AcceptWindow(HWND hwnd)
{
    if (m_bVisibleOnly && !(GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE))
        return FALSE;
    DWORD dwOwner = 0;
    GetWindowThreadProcessId(hwnd, &dwOwner);
    return dwOwner == m_dwProcessId;
}
