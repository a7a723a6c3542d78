#include "process/ProcessGuard.h"

#include <psapi.h>
#include <string>

#include "process/ModuleEnumerator.h"
#include "process/ProcessEnumerator.h"
#include "process/ProcessHandle.h"
#include "process/WindowIterator.h"

namespace {
const DWORD kMaxWindows = 1024;
const UINT kQueryFlags = SMTO_ABORTIFHUNG | SMTO_NOTIMEOUTIFNOTHUNG;
const UINT kQueryTimeout = 100;     // ms
const DWORD kExitWait = 5000;       // ms, after the last close request
const UINT kTerminatedExitCode = 0;
static_assert(kQueryFlags == 0x000A, "end-query flags");

char FoldAsciiLetter(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Equal apart from the case of the ASCII letters. The names are walked in the
// ANSI code page and both bytes of a double-byte character are compared
// unchanged: a byte-wise _stricmp would also fold a trail byte that happens to
// be a letter (GBK 81 41 and 81 61 are two different characters).
bool SameNameIgnoringAsciiCase(const char* pszA, const char* pszB)
{
    for (;;) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*pszA))) {
            if (pszA[0] != pszB[0] || pszA[1] != pszB[1])
                return false;
            if (pszA[1] == '\0')
                return true; // both cut short after the same lead byte
            pszA += 2;
            pszB += 2;
            continue;
        }
        if (FoldAsciiLetter(*pszA) != FoldAsciiLetter(*pszB))
            return false;
        if (*pszA == '\0')
            return true;
        ++pszA;
        ++pszB;
    }
}

// The base name of the module's file; empty when it cannot be read.
std::string ModuleBaseName(HANDLE hProcess, HMODULE hModule)
{
    char szBaseName[MAX_PATH];
    const DWORD nLength = GetModuleBaseNameA(hProcess, hModule, szBaseName, MAX_PATH);
    return std::string(szBaseName, nLength < MAX_PATH ? nLength : MAX_PATH - 1);
}
}

DWORD CProcessGuard::LocateProcess(LPCSTR lpszName, BOOL bAppendExe)
{
    if (!lpszName)
        return 0;
    const std::string strWithExe = std::string(lpszName) + ".exe";

    CProcessEnumerator processes;
    for (DWORD id = processes.FirstId(); id != 0; id = processes.NextId()) {
        CModuleEnumerator modules(id);
        const HMODULE hModule = modules.FirstModule();
        if (!hModule)
            continue;
        const std::string strBaseName = ModuleBaseName(modules.m_hProcess, hModule);
        if (strBaseName.empty())
            continue;
        // Only base names are compared, so a name with a directory part never
        // matches.
        if (SameNameIgnoringAsciiCase(lpszName, strBaseName.c_str()))
            return id;
        if (bAppendExe && SameNameIgnoringAsciiCase(strWithExe.c_str(), strBaseName.c_str()))
            return id;
    }
    return 0;
}

BOOL CProcessGuard::ShutDownProcess(DWORD dwProcessId, BOOL bForce)
{
    CMainWindowIterator windows(dwProcessId, TRUE, kMaxWindows);
    EnumWindows(CWindowIterator::EnumWindowsCallback,
                reinterpret_cast<LPARAM>(static_cast<CWindowIterator*>(&windows)));

    // Each window is asked, and told to close, before the next one is asked.
    for (HWND hwnd = windows.FirstWindow(); hwnd; hwnd = windows.NextWindow()) {
        DWORD_PTR dwAnswer = 0;
        SendMessageTimeoutA(hwnd, WM_QUERYENDSESSION, 0, 0, kQueryFlags, kQueryTimeout, &dwAnswer);
        if (dwAnswer == 0)
            return FALSE; // refused, hung or gone: nothing is waited for or terminated
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
    }

    const CProcessHandle hProcess(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, dwProcessId));
    if (!hProcess)
        return TRUE; // already ended, or out of our reach
    if (WaitForSingleObject(hProcess, kExitWait) == WAIT_OBJECT_0)
        return TRUE;
    if (!bForce)
        return FALSE;
    TerminateProcess(hProcess, kTerminatedExitCode);
    return TRUE;
}
