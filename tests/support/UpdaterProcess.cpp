#include "tests/support/UpdaterProcess.h"
#include "tests/support/WindowDriver.h"

#include <cstring>
#include <vector>

namespace {

const UINT kEndedByTest = 99;

bool IsTempVariable(const char* pszEntry)
{
    return _strnicmp(pszEntry, "TMP=", 4) == 0 || _strnicmp(pszEntry, "TEMP=", 5) == 0;
}

// This process's environment with TMP and TEMP replaced.
std::vector<char> EnvironmentWithTemp(const std::string& strTempDir)
{
    std::vector<char> block;
    LPCH pEnv = GetEnvironmentStringsA();
    for (const char* p = pEnv; *p != '\0'; p += std::strlen(p) + 1) {
        if (!IsTempVariable(p))
            block.insert(block.end(), p, p + std::strlen(p) + 1);
    }
    FreeEnvironmentStringsA(pEnv);
    for (const char* pszName : {"TMP=", "TEMP="}) {
        const std::string entry = pszName + strTempDir;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

}  // namespace

CStartedProcess::CStartedProcess(const std::string& strExe, const std::string& strArguments,
                                 const std::string& strTempDir, const std::string& strDesktop)
    : m_pi()
{
    std::string commandLine = "\"" + strExe + "\"";
    if (!strArguments.empty())
        commandLine += " " + strArguments;
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    std::vector<char> env;
    if (!strTempDir.empty())
        env = EnvironmentWithTemp(strTempDir);

    std::vector<char> desktop(strDesktop.begin(), strDesktop.end());
    desktop.push_back('\0');

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!strDesktop.empty())
        si.lpDesktop = desktop.data();
    if (!CreateProcessA(strExe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, env.empty() ? nullptr : env.data(),
                        nullptr, &si, &m_pi))
        m_pi = PROCESS_INFORMATION();
}

CStartedProcess::~CStartedProcess()
{
    if (!Started())
        return;
    if (IsRunning()) {
        TerminateProcess(m_pi.hProcess, kEndedByTest);
        WaitForSingleObject(m_pi.hProcess, 10000);
    }
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

bool CStartedProcess::WaitForExit(DWORD dwMilliseconds) const
{
    return WaitForSingleObject(m_pi.hProcess, dwMilliseconds) == WAIT_OBJECT_0;
}

DWORD CStartedProcess::ExitCode() const
{
    DWORD dwCode = STILL_ACTIVE;
    GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return dwCode;
}

HWND WaitForWizard(const CStartedProcess& process, DWORD dwTimeoutMs)
{
    return WaitForWindow(process.Pid(), "Zentrel 1.0", dwTimeoutMs);
}

