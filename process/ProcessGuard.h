// CProcessGuard: finds a running process by its executable's base name and
// shuts it down, politely first (end query and close to each visible window),
// by force when the caller allows it.
#pragma once
#include <windows.h>

class CProcessGuard {
public:
    // The first running process whose executable base name equals lpszName,
    // or lpszName + ".exe" when bAppendExe, ignoring ASCII letter case; 0 when
    // none (or none that can be examined) matches.
    DWORD LocateProcess(LPCSTR lpszName, BOOL bAppendExe);

    // TRUE when every visible window agreed to end and the process then ended
    // within the wait, was terminated (bForce), or cannot be opened; FALSE when
    // a window refused or did not answer, or the process outlived the wait and
    // bForce is FALSE.
    BOOL ShutDownProcess(DWORD dwProcessId, BOOL bForce);
};
