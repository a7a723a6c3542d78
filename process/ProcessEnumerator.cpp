#include "process/ProcessEnumerator.h"

#include <new>
#include <psapi.h>

namespace {
const DWORD kFirstCapacity = 1024;
const DWORD kMaxCapacity = MAXDWORD / sizeof(DWORD); // the byte size must fit the call
const DWORD kNoListing = 0xFFFFFFFFu;
}

CProcessEnumerator::CProcessEnumerator(PFNLISTPROCESSES pfnListProcesses)
    : m_nCount(0),
      m_nCursor(kNoListing),
      m_pfnListProcesses(pfnListProcesses ? pfnListProcesses : &EnumProcesses)
{
}

DWORD CProcessEnumerator::FirstId()
{
    m_nCursor = kNoListing;
    m_nCount = 0;
    for (DWORD nCapacity = kFirstCapacity;; nCapacity *= 2) {
        if (!ListInto(nCapacity))
            break;
        // A listing that fills the array may have been cut short: list again
        // into a larger one.
        if (m_nCount < nCapacity)
            break;
        if (nCapacity > kMaxCapacity / 2) {
            DropListing();
            break;
        }
    }
    return NextId();
}

DWORD CProcessEnumerator::NextId()
{
    if (!m_pIds || m_nCursor >= m_nCount)
        return 0;
    return m_pIds[m_nCursor++];
}

BOOL CProcessEnumerator::ListInto(DWORD nCapacity)
{
    m_pIds.reset(new (std::nothrow) DWORD[nCapacity]);
    DWORD cbReturned = 0;
    if (!m_pIds || !m_pfnListProcesses(m_pIds.get(), nCapacity * sizeof(DWORD), &cbReturned)) {
        DropListing();
        return FALSE;
    }
    m_nCount = cbReturned / sizeof(DWORD);
    m_nCursor = 1; // the first entry of the listing is never handed out
    return TRUE;
}

void CProcessEnumerator::DropListing()
{
    m_pIds.reset();
    m_nCount = 0;
    m_nCursor = kNoListing;
}
