// CProcessHandle: owns one process handle and closes it when it goes, so that
// every path out of a lookup or shutdown releases what it opened.
#pragma once
#include <windows.h>

class CProcessHandle {
public:
    explicit CProcessHandle(HANDLE hProcess = nullptr) : m_hProcess(hProcess) {}
    ~CProcessHandle()
    {
        if (m_hProcess)
            CloseHandle(m_hProcess);
    }
    CProcessHandle(const CProcessHandle&) = delete;
    CProcessHandle& operator=(const CProcessHandle&) = delete;

    operator HANDLE() const { return m_hProcess; }

private:
    HANDLE m_hProcess; // null when nothing is open
};
