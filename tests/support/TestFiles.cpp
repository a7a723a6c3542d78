#include "tests/support/TestFiles.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {
std::atomic<unsigned> g_nextDir{0};

// The temporary directory the process started with: tests point TMP at
// directories of their own, which must not nest.
const std::string& BaseTempDir()
{
    static const std::string s_path = [] {
        char szTemp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, szTemp);
        return std::string(szTemp);
    }();
    return s_path;
}
}

CTempDir::CTempDir()
{
    for (int nTry = 0; nTry < 1000; ++nTry) {
        char szName[MAX_PATH];
        std::snprintf(szName, sizeof szName, "%sut%lu_%u_%lu", BaseTempDir().c_str(), GetCurrentProcessId(),
                      g_nextDir++, GetTickCount());
        if (CreateDirectoryA(szName, nullptr)) {
            m_strPath = szName;
            return;
        }
    }
}

CTempDir::~CTempDir()
{
    RemoveTree(m_strPath);
}

std::string Crlf(const std::string& text)
{
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    return crlf;
}

bool WriteWholeFile(const std::string& path, const std::string& content)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == content.size();
}

std::string ReadWholeFile(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string content;
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        content.append(buffer, n);
    CloseHandle(h);
    return content;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> DirectoryListing(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

std::string ExecutableDir()
{
    char szPath[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string path = szPath;
    return path.substr(0, path.find_last_of('\\'));
}

void SetProcessTempDir(const std::string& path)
{
    SetEnvironmentVariableA("TMP", path.c_str());
    SetEnvironmentVariableA("TEMP", path.c_str());
}
