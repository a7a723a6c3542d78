#include "tests/support/GuardeeProcess.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <winternl.h>

namespace {
const DWORD kStartTimeout = 20000;
const UINT kKilledExitCode = 99;

std::string WindowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

struct WindowOrder {
    DWORD dwProcessId;
    std::vector<int> indices;
};

// One entry of the SystemHandleInformation table.
struct SystemHandleEntry {
    ULONG OwnerPid;
    BYTE ObjectType;
    BYTE HandleFlags;
    USHORT HandleValue;
    PVOID ObjectPointer;
    ULONG AccessMask;
};
struct SystemHandleTable {
    ULONG Count;
    SystemHandleEntry Handle[1];
};
const ULONG kSystemHandleInformation = 16;
const NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

BOOL CALLBACK CollectGuardeeWindow(HWND hwnd, LPARAM lParam)
{
    WindowOrder* pOrder = reinterpret_cast<WindowOrder*>(lParam);
    DWORD dwOwner = 0;
    GetWindowThreadProcessId(hwnd, &dwOwner);
    if (dwOwner != pOrder->dwProcessId || !(GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE))
        return TRUE;
    // The title of another process's window is read without a message, so a
    // hung window answers too.
    char szTitle[64] = "";
    int nIndex = -1;
    if (GetWindowTextA(hwnd, szTitle, sizeof szTitle) > 0 && std::sscanf(szTitle, "guardee %d", &nIndex) == 1)
        pOrder->indices.push_back(nIndex);
    return TRUE;
}
}

CGuardeeProcess::CGuardeeProcess(const char* pszHelper, const std::string& strExeName,
                                 const std::string& strWindows, DWORD dwExitAfter)
    : m_strExe(m_dir / strExeName), m_strReport(m_dir / "report.txt"), m_pi(), m_bReady(false)
{
    if (!CopyFileA(WindowsPath(pszHelper).c_str(), m_strExe.c_str(), FALSE))
        return;
    std::string strCommand = "\"" + m_strExe + "\" \"" + m_strReport + "\" " + strWindows;
    if (dwExitAfter != 0)
        strCommand += " " + std::to_string(dwExitAfter);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(m_strExe.c_str(), &strCommand[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        m_dir.Path().c_str(), &si, &m_pi))
        return;
    const DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < kStartTimeout) {
        const std::vector<std::string> lines = ReportLines();
        if (std::find(lines.begin(), lines.end(), "ready") != lines.end()) {
            m_bReady = true;
            return;
        }
        if (!IsRunning())
            return;
        Sleep(10);
    }
}

CGuardeeProcess::~CGuardeeProcess()
{
    Kill();
}

bool CGuardeeProcess::IsRunning() const
{
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

bool CGuardeeProcess::WaitForExit(DWORD dwMilliseconds) const
{
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, dwMilliseconds) == WAIT_OBJECT_0;
}

DWORD CGuardeeProcess::ExitCode() const
{
    DWORD dwCode = STILL_ACTIVE;
    if (m_pi.hProcess)
        GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return dwCode;
}

void CGuardeeProcess::Kill()
{
    if (m_pi.hProcess) {
        if (IsRunning())
            TerminateProcess(m_pi.hProcess, kKilledExitCode);
        WaitForSingleObject(m_pi.hProcess, 10000);
        CloseHandle(m_pi.hProcess);
        m_pi.hProcess = nullptr;
    }
    if (m_pi.hThread) {
        CloseHandle(m_pi.hThread);
        m_pi.hThread = nullptr;
    }
}

std::vector<std::string> CGuardeeProcess::ReportLines() const
{
    std::vector<std::string> lines;
    std::istringstream in(ReadWholeFile(m_strReport));
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

std::string CGuardeeProcess::Events(int nIndex) const
{
    const std::string strSuffix = " " + std::to_string(nIndex);
    std::string strEvents;
    for (const std::string& line : ReportLines()) {
        const size_t nSpace = line.find(' ');
        if (nSpace == std::string::npos || line.substr(nSpace) != strSuffix)
            continue;
        if (!strEvents.empty())
            strEvents += " ";
        strEvents += line.substr(0, nSpace);
    }
    return strEvents;
}

bool CGuardeeProcess::WaitForReportLine(const std::string& strLine, DWORD dwMilliseconds) const
{
    const DWORD dwStart = GetTickCount();
    for (;;) {
        const std::vector<std::string> lines = ReportLines();
        if (std::find(lines.begin(), lines.end(), strLine) != lines.end())
            return true;
        if (GetTickCount() - dwStart >= dwMilliseconds)
            return false;
        Sleep(10);
    }
}

std::vector<int> CGuardeeProcess::VisibleWindowOrder() const
{
    WindowOrder order{Pid(), {}};
    EnumWindows(CollectGuardeeWindow, reinterpret_cast<LPARAM>(&order));
    return order.indices;
}

DWORD OpenHandleCount()
{
    typedef NTSTATUS(NTAPI * PFNQUERY)(ULONG, PVOID, ULONG, PULONG);
    const PFNQUERY pfnQuery = reinterpret_cast<PFNQUERY>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!pfnQuery)
        return 0;
    std::vector<char> buffer(1 << 20);
    ULONG cbReturned = 0;
    NTSTATUS status;
    while ((status = pfnQuery(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                              &cbReturned)) == kStatusInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const SystemHandleTable* pTable = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    DWORD nOwn = 0;
    for (ULONG i = 0; i < pTable->Count; ++i)
        if (pTable->Handle[i].OwnerPid == GetCurrentProcessId())
            ++nOwn;
    return nOwn;
}
