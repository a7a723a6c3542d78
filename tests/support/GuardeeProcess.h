// A guardee helper process for the process-guard tests: tests/helpers/guardee
// copied under a chosen executable name into a fresh directory and started
// with the windows a test asks for (see guardee.cpp for the letters). The
// process is terminated, and its directory removed, when the object goes.
#pragma once
#include <string>
#include <vector>
#include <windows.h>

#include "tests/support/TestFiles.h"

class CGuardeeProcess {
public:
    // The exit code of a guardee that ended by itself (its windows closed, or
    // its exit-after time came); a terminated one has the code it was given.
    static constexpr DWORD kExitByItself = 3;

    // Starts "<dir>\<strExeName>" with the windows strWindows ("-": none); with
    // dwExitAfter (ms) the process ends by itself after that time. Returns once
    // every window exists; Started() tells whether that happened.
#ifdef TEST_HELPER_DIR
    CGuardeeProcess(const std::string& strExeName, const std::string& strWindows, DWORD dwExitAfter = 0)
        : CGuardeeProcess(TEST_HELPER_DIR "/guardee.exe", strExeName, strWindows, dwExitAfter)
    {
    }
#endif
    // The same with the helper program's Linux path given.
    CGuardeeProcess(const char* pszHelper, const std::string& strExeName, const std::string& strWindows,
                    DWORD dwExitAfter);
    ~CGuardeeProcess();
    CGuardeeProcess(const CGuardeeProcess&) = delete;
    CGuardeeProcess& operator=(const CGuardeeProcess&) = delete;

    bool Started() const { return m_bReady; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    const std::string& ExePath() const { return m_strExe; }

    bool IsRunning() const;
    bool WaitForExit(DWORD dwMilliseconds) const;
    // STILL_ACTIVE while the process runs.
    DWORD ExitCode() const;
    // Terminates the process, waits for it and lets go of its handles, so that
    // its identifier no longer opens.
    void Kill();

    // What window nIndex received, in order: e.g. "query close", "query", "".
    std::string Events(int nIndex) const;
    // Waits until the report holds the line (e.g. "close 2"); false on time-out.
    bool WaitForReportLine(const std::string& strLine, DWORD dwMilliseconds) const;
    // The indices of the process's visible top-level windows in the order in
    // which EnumWindows reports them.
    std::vector<int> VisibleWindowOrder() const;

private:
    std::vector<std::string> ReportLines() const;

    CTempDir m_dir;
    std::string m_strExe;
    std::string m_strReport;
    PROCESS_INFORMATION m_pi;
    bool m_bReady;
};

// The number of handles this process has open, from the system's handle table
// (Wine's GetProcessHandleCount always reports 0); 0 when it cannot be read.
DWORD OpenHandleCount();
