#include "process/ModuleEnumerator.h"

#include <new>
#include <psapi.h>

namespace {
const DWORD kFirstCapacity = 1024;
// Sizes and counts go by sizeof(HMODULE), which is 8 in a 64-bit process; the
// byte size must fit the call.
const DWORD kMaxCapacity = MAXDWORD / sizeof(HMODULE);
const DWORD kNoListing = 0xFFFFFFFFu;
}

CModuleEnumerator::CModuleEnumerator(DWORD dwProcessId, PFNLISTMODULES pfnListModules)
    : m_hProcess(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, dwProcessId)),
      m_nCount(0),
      m_nCursor(kNoListing),
      m_pfnListModules(pfnListModules ? pfnListModules : &EnumProcessModules)
{
}

HMODULE CModuleEnumerator::FirstModule()
{
    DropListing();
    if (!m_hProcess)
        return nullptr;

    for (DWORD nCapacity = kFirstCapacity;;) {
        if (!ListInto(nCapacity))
            break;
        if (m_nCount < nCapacity)
            break;
        // The reported need exceeds the array: take one that holds it, and at
        // least twice the last.
        if (m_nCount >= kMaxCapacity || nCapacity > kMaxCapacity / 2) {
            DropListing();
            break;
        }
        nCapacity = m_nCount + 1 > nCapacity * 2 ? m_nCount + 1 : nCapacity * 2;
    }

    if (!m_pModules || m_nCursor >= m_nCount)
        return nullptr;
    return m_pModules[m_nCursor++];
}

BOOL CModuleEnumerator::ListInto(DWORD nCapacity)
{
    m_pModules.reset(new (std::nothrow) HMODULE[nCapacity]);
    DWORD cbNeeded = 0;
    if (!m_pModules || !m_pfnListModules(m_hProcess, m_pModules.get(), nCapacity * sizeof(HMODULE), &cbNeeded)) {
        DropListing();
        return FALSE;
    }
    m_nCount = cbNeeded / sizeof(HMODULE);
    m_nCursor = 0;
    return TRUE;
}

void CModuleEnumerator::DropListing()
{
    m_pModules.reset();
    m_nCount = 0;
    m_nCursor = kNoListing;
}
