#include "app/InstanceLock.h"

#include <mbstring.h>
#include <cstdio>

namespace {

// The directory in lower case (double-byte characters kept as they are).
CString LowerCase(const CString& strText)
{
    CString strLower = strText;
    _mbslwr(reinterpret_cast<unsigned char*>(strLower.GetBuffer(strLower.GetLength())));
    strLower.ReleaseBuffer();
    return strLower;
}

// A mutex name cannot hold backslashes: the 64-bit FNV-1a hash of the lower
// case directory stands for it. In the global namespace, so that a scheduled
// run in another session and the user's wizard see each other.
CString MutexName(const CString& strAppDir)
{
    const CString strLower = LowerCase(strAppDir);
    unsigned long long ullHash = 14695981039346656037ULL;
    for (const char* p = strLower; *p != '\0'; ++p) {
        ullHash ^= static_cast<unsigned char>(*p);
        ullHash *= 1099511628211ULL;
    }
    char szName[64];
    std::snprintf(szName, sizeof szName, "Global\\Zentrel.Update.%016llx", ullHash);
    return CString(szName);
}

// The directory of the program that runs the process, or an empty text.
CString ProcessDirectory(DWORD dwProcessId)
{
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwProcessId);
    if (hProcess == nullptr)
        return CString();
    char szPath[MAX_PATH * 2] = "";
    DWORD dwSize = sizeof szPath;
    const BOOL bDone = QueryFullProcessImageNameA(hProcess, 0, szPath, &dwSize);
    CloseHandle(hProcess);
    if (!bDone)
        return CString();
    unsigned char* pSlash = _mbsrchr(reinterpret_cast<unsigned char*>(szPath), '\\');
    if (pSlash == nullptr)
        return CString();
    *pSlash = '\0';
    return CString(szPath);
}

struct FindWizard {
    CString strAppDir;  // lower case
    HWND hFound;
};

// A visible dialog of another process started from the same directory.
BOOL CALLBACK FindWizardProc(HWND hWnd, LPARAM lParam)
{
    FindWizard* pFind = static_cast<FindWizard*>(reinterpret_cast<void*>(lParam));
    char szClass[16] = "";
    if (!IsWindowVisible(hWnd) || !GetClassNameA(hWnd, szClass, sizeof szClass) || lstrcmpA(szClass, "#32770") != 0)
        return TRUE;
    DWORD dwProcessId = 0;
    GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == GetCurrentProcessId() || LowerCase(ProcessDirectory(dwProcessId)) != pFind->strAppDir)
        return TRUE;
    pFind->hFound = hWnd;
    return FALSE;
}

}  // namespace

CInstanceLock::CInstanceLock(const CString& strAppDir)
    : m_strAppDir(strAppDir), m_hMutex(nullptr), m_bAcquired(FALSE)
{
    // A mutex that exists but cannot be opened (another user's) counts as held.
    const CString strName = MutexName(strAppDir);
    m_hMutex = CreateMutexA(nullptr, TRUE, strName);
    const DWORD dwError = GetLastError();
    m_bAcquired = m_hMutex != nullptr && dwError != ERROR_ALREADY_EXISTS;
}

CInstanceLock::~CInstanceLock()
{
    if (m_hMutex != nullptr) {
        if (m_bAcquired)
            ReleaseMutex(m_hMutex);
        CloseHandle(m_hMutex);
    }
}

BOOL CInstanceLock::ActivateRunningWizard(DWORD dwTimeoutMs) const
{
    FindWizard find = { LowerCase(m_strAppDir), nullptr };
    const DWORD dwStart = GetTickCount();
    for (;;) {
        find.hFound = nullptr;
        EnumWindows(FindWizardProc, reinterpret_cast<LPARAM>(&find));
        if (find.hFound != nullptr) {
            if (IsIconic(find.hFound))
                ShowWindow(find.hFound, SW_RESTORE);
            SetForegroundWindow(find.hFound);
            return TRUE;
        }
        if (GetTickCount() - dwStart >= dwTimeoutMs)
            return FALSE;
        Sleep(50);
    }
}
