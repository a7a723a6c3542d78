// The nginx server of the end-to-end tests, started by tests/e2e/with_nginx.sh
// on a free loopback port: its port and document root (a Linux path) arrive
// in E2E_HTTP_PORT and E2E_HTTP_ROOT. Files are published by writing them
// under the root through Wine's Z: drive.
#pragma once
#include <string>

class CNginxSite {
public:
    CNginxSite();

    // False when the test program was not started beside nginx.
    bool Available() const { return m_nPort != 0 && !m_strRoot.empty(); }
    unsigned short Port() const { return m_nPort; }
    // Writes strContent as the file served at strUrlPath ("/a/b.zip"),
    // creating its directories.
    bool Put(const std::string& strUrlPath, const std::string& strContent) const;

private:
    unsigned short m_nPort;
    std::string m_strRoot;  // Windows path, no trailing backslash
};

// "Z:\..." for a Linux path.
std::string WindowsPathOf(const std::string& strLinuxPath);
