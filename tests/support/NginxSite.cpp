#include "tests/support/NginxSite.h"
#include "tests/support/TestFiles.h"

#include <windows.h>
#include <algorithm>
#include <cstdlib>

std::string WindowsPathOf(const std::string& strLinuxPath)
{
    std::string path = strLinuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

CNginxSite::CNginxSite() : m_nPort(0)
{
    const char* pszPort = std::getenv("E2E_HTTP_PORT");
    const char* pszRoot = std::getenv("E2E_HTTP_ROOT");
    if (pszPort && pszRoot && *pszRoot == '/') {
        m_nPort = static_cast<unsigned short>(std::atoi(pszPort));
        m_strRoot = WindowsPathOf(pszRoot);
        while (!m_strRoot.empty() && m_strRoot.back() == '\\')
            m_strRoot.pop_back();
    }
}

bool CNginxSite::Put(const std::string& strUrlPath, const std::string& strContent) const
{
    std::string path = m_strRoot;
    size_t nStart = 1;
    for (size_t nSlash; (nSlash = strUrlPath.find('/', nStart)) != std::string::npos; nStart = nSlash + 1) {
        path += "\\" + strUrlPath.substr(nStart, nSlash - nStart);
        CreateDirectoryA(path.c_str(), nullptr);
    }
    return WriteWholeFile(path + "\\" + strUrlPath.substr(nStart), strContent);
}
