// CModuleEnumerator: the modules of one process, opened for query and memory
// read; the first module is the process's executable image.
#pragma once
#include <windows.h>
#include <memory>

#include "process/ProcessHandle.h"

class CModuleEnumerator {
public:
    // The listing call, with the signature of EnumProcessModules (which reports
    // the bytes that all modules need, even beyond the array).
    typedef BOOL (WINAPI *PFNLISTMODULES)(HANDLE hProcess, HMODULE* pModules, DWORD cb, DWORD* pcbNeeded);

    explicit CModuleEnumerator(DWORD dwProcessId, PFNLISTMODULES pfnListModules = nullptr);
    CModuleEnumerator(const CModuleEnumerator&) = delete;
    CModuleEnumerator& operator=(const CModuleEnumerator&) = delete;

    // Lists the modules and returns the first; null when the process is not
    // open or its modules cannot be listed.
    HMODULE FirstModule();

private:
    friend class CProcessGuard; // reads m_hProcess for the base-name query

    // One listing into an array of nCapacity entries; FALSE leaves no listing.
    BOOL ListInto(DWORD nCapacity);
    void DropListing();

    CProcessHandle m_hProcess;           // null when the process cannot be opened
    std::unique_ptr<HMODULE[]> m_pModules; // null before a listing
    DWORD m_nCount;                      // module handles in m_pModules
    DWORD m_nCursor;                     // next to hand out; all ones without a listing
    PFNLISTMODULES m_pfnListModules;
};
