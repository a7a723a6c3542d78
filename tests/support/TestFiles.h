// Files and directories for tests: a temporary directory that removes itself,
// whole-file reads and writes, and directory listings.
#pragma once
#include <string>
#include <vector>
#include <windows.h>

// A fresh directory under the process's temporary directory, removed with
// everything in it when the object goes.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // Path() + "\\" + name
    std::string operator/(const std::string& name) const { return m_strPath + "\\" + name; }

private:
    std::string m_strPath;
};

// Text with "\n" turned into CRLF line ends.
std::string Crlf(const std::string& text);

bool WriteWholeFile(const std::string& path, const std::string& content);
// The file's bytes; empty when it cannot be read (see FileExists).
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
// The names in a directory ("." and ".." left out), sorted; empty when it
// cannot be read.
std::vector<std::string> DirectoryListing(const std::string& dir);
void RemoveTree(const std::string& path);
// The directory of the running test program, without a trailing backslash.
std::string ExecutableDir();
// Sets TMP and TEMP of this process, as the program reads them.
void SetProcessTempDir(const std::string& path);
