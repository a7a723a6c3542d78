// CProcessEnumerator: the identifiers of the running processes, from one
// PSAPI listing, handed out one at a time.
#pragma once
#include <windows.h>
#include <memory>

class CProcessEnumerator {
public:
    // The listing call, with the signature of EnumProcesses. A test passes its
    // own to show how the array grows without starting a thousand processes.
    typedef BOOL (WINAPI *PFNLISTPROCESSES)(DWORD* pIds, DWORD cb, DWORD* pcbReturned);

    explicit CProcessEnumerator(PFNLISTPROCESSES pfnListProcesses = nullptr);
    CProcessEnumerator(const CProcessEnumerator&) = delete;
    CProcessEnumerator& operator=(const CProcessEnumerator&) = delete;

    // Takes a new listing and returns its second entry (the first one is never
    // handed out); 0 when there is none.
    DWORD FirstId();
    // The next identifier of the current listing; 0 marks the end.
    DWORD NextId();

private:
    // One listing into an array of nCapacity entries; FALSE leaves no listing.
    BOOL ListInto(DWORD nCapacity);
    void DropListing();

    std::unique_ptr<DWORD[]> m_pIds; // null until a listing succeeds
    DWORD m_nCount;                  // identifiers in m_pIds
    DWORD m_nCursor;                 // next to hand out; all ones without a listing
    PFNLISTPROCESSES m_pfnListProcesses;
};
