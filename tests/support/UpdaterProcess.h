// Processes for the end-to-end tests: the real Update.exe started from an
// installation directory with a temporary directory of its own, and programs
// started from installed files. Each process is ended (by its handle) when
// its object goes, if it still runs.
#pragma once
#include <string>
#include <vector>
#include <windows.h>

class CStartedProcess {
public:
    // Starts "strExe" with the arguments; with strTempDir the process gets
    // TMP and TEMP set to it (Wine does not take them from the Linux side);
    // with strDesktop it runs on that desktop of this window station.
    CStartedProcess(const std::string& strExe, const std::string& strArguments, const std::string& strTempDir = "",
                    const std::string& strDesktop = "");
    ~CStartedProcess();
    CStartedProcess(const CStartedProcess&) = delete;
    CStartedProcess& operator=(const CStartedProcess&) = delete;

    bool Started() const { return m_pi.hProcess != nullptr; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    bool WaitForExit(DWORD dwMilliseconds) const;
    bool IsRunning() const { return Started() && !WaitForExit(0); }
    // STILL_ACTIVE while the process runs.
    DWORD ExitCode() const;

private:
    PROCESS_INFORMATION m_pi;
};

// The updater's wizard window of the process, or nullptr after dwTimeoutMs.
HWND WaitForWizard(const CStartedProcess& process, DWORD dwTimeoutMs);
