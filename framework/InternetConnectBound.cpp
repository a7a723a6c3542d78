#include <winsock2.h>
#include <ws2tcpip.h>
#include "framework/InternetConnectBound.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Winsock for the duration of one check, whether or not the program started it.
class CWinsockUse {
public:
    CWinsockUse() { WSADATA wsa; m_bStarted = WSAStartup(MAKEWORD(2, 2), &wsa) == 0; }
    ~CWinsockUse() { if (m_bStarted) WSACleanup(); }
    CWinsockUse(const CWinsockUse&) = delete;
    CWinsockUse& operator=(const CWinsockUse&) = delete;
    bool Started() const { return m_bStarted; }
private:
    bool m_bStarted = false;
};

class CSocketOwner {
public:
    explicit CSocketOwner(SOCKET s) : m_s(s) {}
    ~CSocketOwner() { if (m_s != INVALID_SOCKET) closesocket(m_s); }
    CSocketOwner(const CSocketOwner&) = delete;
    CSocketOwner& operator=(const CSocketOwner&) = delete;
    operator SOCKET() const { return m_s; }
private:
    SOCKET m_s;
};

class CAddressList {
public:
    CAddressList(LPCSTR lpszHost, INTERNET_PORT nPort)
    {
        char szPort[8];
        _itoa(nPort, szPort, 10);
        addrinfo hints = {};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        if (getaddrinfo(lpszHost, szPort, &hints, &m_pList) != 0)
            m_pList = nullptr;
    }
    ~CAddressList() { if (m_pList) freeaddrinfo(m_pList); }
    CAddressList(const CAddressList&) = delete;
    CAddressList& operator=(const CAddressList&) = delete;
    const addrinfo* First() const { return m_pList; }
private:
    addrinfo* m_pList = nullptr;
};

enum class ConnectResult { Connected, Refused, TimedOut };

ConnectResult ConnectOne(const addrinfo& address, DWORD dwTimeoutMs)
{
    CSocketOwner s(socket(address.ai_family, address.ai_socktype, address.ai_protocol));
    if (s == INVALID_SOCKET)
        return ConnectResult::Refused;
    u_long nNonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nNonBlocking);
    if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0)
        return ConnectResult::Connected;
    if (WSAGetLastError() != WSAEWOULDBLOCK)
        return ConnectResult::Refused;

    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval tv = { static_cast<long>(dwTimeoutMs / 1000), static_cast<long>(dwTimeoutMs % 1000) * 1000 };
    const int nReady = select(0, nullptr, &writable, &failed, &tv);
    if (nReady == 0)
        return ConnectResult::TimedOut;
    if (nReady < 0 || FD_ISSET(s, &failed))
        return ConnectResult::Refused;
    int nError = 0;
    int nLength = sizeof nError;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&nError), &nLength);
    return nError == 0 ? ConnectResult::Connected : ConnectResult::Refused;
}

// "scheme://host:port/" or "host:port" to host and port (80 when absent).
CConnectTarget ParseProxyEntry(CString strEntry)
{
    const int nScheme = strEntry.Find("://");
    if (nScheme >= 0)
        strEntry = strEntry.Mid(nScheme + 3);
    const int nSlash = strEntry.Find('/');
    if (nSlash >= 0)
        strEntry = strEntry.Left(nSlash);
    CConnectTarget target;
    target.nPort = INTERNET_DEFAULT_HTTP_PORT;
    const int nColon = strEntry.Find(':');
    if (nColon >= 0) {
        target.nPort = static_cast<INTERNET_PORT>(atoi(strEntry.Mid(nColon + 1)));
        strEntry = strEntry.Left(nColon);
    }
    target.strHost = strEntry;
    return target;
}

std::vector<CString> SplitList(const CString& strList)
{
    std::vector<CString> items;
    CString strItem;
    for (int i = 0; i <= strList.GetLength(); ++i) {
        const char ch = i < strList.GetLength() ? strList.GetAt(i) : ';';
        if (ch == ';' || ch == ' ' || ch == ',' || ch == '\t') {
            if (!strItem.IsEmpty())
                items.push_back(strItem);
            strItem.Empty();
        } else {
            strItem += ch;
        }
    }
    return items;
}

bool IsBypassed(const CString& strBypass, LPCSTR lpszServer)
{
    for (const CString& strEntry : SplitList(strBypass)) {
        if (lstrcmpiA(strEntry, lpszServer) == 0)
            return true;
        if (lstrcmpiA(strEntry, "<local>") == 0 && std::strchr(lpszServer, '.') == nullptr)
            return true;
    }
    return false;
}

}  // namespace

CConnectTarget AfxConnectTargetOf(HINTERNET hSession, LPCSTR lpszServer, INTERNET_PORT nPort)
{
    CConnectTarget direct;
    direct.strHost = lpszServer;
    direct.nPort = nPort;

    DWORD dwSize = 0;
    InternetQueryOptionA(hSession, INTERNET_OPTION_PROXY, nullptr, &dwSize);
    if (dwSize < sizeof(INTERNET_PROXY_INFO))
        return direct;
    std::vector<char> buffer(dwSize);
    if (!InternetQueryOptionA(hSession, INTERNET_OPTION_PROXY, buffer.data(), &dwSize))
        return direct;
    const INTERNET_PROXY_INFO* pInfo = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
    if (pInfo->dwAccessType != INTERNET_OPEN_TYPE_PROXY || pInfo->lpszProxy == nullptr)
        return direct;
    if (pInfo->lpszProxyBypass && IsBypassed(reinterpret_cast<LPCSTR>(pInfo->lpszProxyBypass), lpszServer))
        return direct;

    // "http=host:port" is the HTTP proxy; an entry without a scheme serves all.
    CString strAll;
    for (const CString& strEntry : SplitList(reinterpret_cast<LPCSTR>(pInfo->lpszProxy))) {
        if (strEntry.Find('=') < 0 && strAll.IsEmpty())
            strAll = strEntry;
        else if (strEntry.Left(5) == "http=")
            return ParseProxyEntry(strEntry.Mid(5));
    }
    return strAll.IsEmpty() ? direct : ParseProxyEntry(strAll);
}

DWORD AfxConnectWithin(const CConnectTarget& target, DWORD dwTimeoutMs)
{
    CWinsockUse winsock;
    if (!winsock.Started())
        return 0;  // no check possible: WinINet's own behaviour stands
    CAddressList addresses(target.strHost, target.nPort);
    if (addresses.First() == nullptr)
        return ERROR_INTERNET_NAME_NOT_RESOLVED;

    const ULONGLONG ullDeadline = GetTickCount64() + dwTimeoutMs;
    for (const addrinfo* p = addresses.First(); p; p = p->ai_next) {
        const ULONGLONG ullNow = GetTickCount64();
        if (ullNow >= ullDeadline)
            return ERROR_INTERNET_TIMEOUT;
        switch (ConnectOne(*p, static_cast<DWORD>(ullDeadline - ullNow))) {
        case ConnectResult::Connected: return 0;
        case ConnectResult::TimedOut: return ERROR_INTERNET_TIMEOUT;
        case ConnectResult::Refused: break;
        }
    }
    return ERROR_INTERNET_CANNOT_CONNECT;
}
