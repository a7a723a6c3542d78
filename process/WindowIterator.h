// CWindowIterator: collects top-level windows through EnumWindows behind an
// overridable filter, then hands them out in the system's order.
// CMainWindowIterator: keeps the (visible) top-level windows of one process.
#pragma once
#include <windows.h>
#include <memory>

class CWindowIterator {
public:
    explicit CWindowIterator(DWORD nCapacity);
    // Not virtual: iterators live on the stack and are never deleted through a
    // base pointer.
    ~CWindowIterator() = default;
    CWindowIterator(const CWindowIterator&) = delete;
    CWindowIterator& operator=(const CWindowIterator&) = delete;

    // Called for every top-level window: stores an accepted window while the
    // array has room (later ones are dropped); always TRUE, so the
    // enumeration runs to the last window.
    virtual BOOL CollectWindow(HWND hwnd);
    // The filter; this class accepts every window.
    virtual BOOL AcceptWindow(HWND hwnd);

    HWND FirstWindow();
    // Null when every stored window has been handed out.
    HWND NextWindow();

    // The EnumWindows callback; lParam is the iterator (a CWindowIterator*).
    static BOOL CALLBACK EnumWindowsCallback(HWND hwnd, LPARAM lParam);

protected:
    std::unique_ptr<HWND[]> m_pWindows;
    DWORD m_nCapacity;
    DWORD m_nCount;
    DWORD m_nCursor;
};

class CMainWindowIterator : public CWindowIterator {
public:
    CMainWindowIterator(DWORD dwProcessId, BOOL bVisibleOnly, DWORD nCapacity);

    BOOL AcceptWindow(HWND hwnd) override;

protected:
    DWORD m_dwProcessId;
    BOOL m_bVisibleOnly; // non-zero: only windows with the WS_VISIBLE style bit
};
