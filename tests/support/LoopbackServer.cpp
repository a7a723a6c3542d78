#include "tests/support/LoopbackServer.h"

#include <ws2tcpip.h>
#include <algorithm>
#include <cstring>

namespace {

const DWORD SOCKET_TIMEOUT_MS = 5000;
const size_t MAX_REQUEST_HEAD = 64 * 1024;

bool IEquals(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && _strnicmp(a.c_str(), b.c_str(), a.size()) == 0;
}

void SetTimeouts(SOCKET s, DWORD dwMs)
{
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&dwMs), sizeof dwMs);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&dwMs), sizeof dwMs);
}

bool SendAll(SOCKET s, const char* p, size_t n)
{
    while (n > 0) {
        const int nSent = send(s, p, static_cast<int>(std::min<size_t>(n, 1 << 20)), 0);
        if (nSent <= 0)
            return false;
        p += nSent;
        n -= static_cast<size_t>(nSent);
    }
    return true;
}

// The request head up to its blank line; false when the peer sent none.
bool ReadRequestHead(SOCKET s, std::string& head)
{
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const int n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0 || head.size() > MAX_REQUEST_HEAD)
            return false;
        head.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

HttpRequestSeen ParseRequest(const std::string& head)
{
    HttpRequestSeen seen;
    size_t pos = 0;
    bool bFirst = true;
    for (;;) {
        const size_t end = head.find("\r\n", pos);
        if (end == std::string::npos || end == pos)
            break;
        const std::string line = head.substr(pos, end - pos);
        if (bFirst) {
            seen.requestLine = line;
            const size_t sp1 = line.find(' ');
            const size_t sp2 = line.find(' ', sp1 == std::string::npos ? 0 : sp1 + 1);
            seen.method = line.substr(0, sp1);
            if (sp1 != std::string::npos)
                seen.path = line.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
            bFirst = false;
        } else {
            seen.headers.push_back(line);
        }
        pos = end + 2;
    }
    return seen;
}

// An orderly end: no more data from us, then wait briefly for the peer's close
// so that nothing unread turns the close into a reset.
void CloseGracefully(SOCKET s)
{
    shutdown(s, SD_SEND);
    char buffer[1024];
    SetTimeouts(s, 1000);
    while (recv(s, buffer, sizeof buffer, 0) > 0) {
    }
    closesocket(s);
}

void CloseWithReset(SOCKET s)
{
    linger lg = { 1, 0 };
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof lg);
    closesocket(s);
}

SOCKET ListenOnLoopback(int nBacklog, unsigned short& nPort)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return s;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int nLength = sizeof addr;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, nBacklog) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &nLength) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    nPort = ntohs(addr.sin_port);
    return s;
}

}  // namespace

HttpReply HttpReply::Ok(const std::string& body)
{
    HttpReply reply;
    reply.body = body;
    return reply;
}

HttpReply HttpReply::Status(int status, const std::string& reason, const std::string& body)
{
    HttpReply reply;
    reply.status = status;
    reply.reason = reason;
    reply.body = body;
    return reply;
}

std::string PatternBytes(unsigned long long count)
{
    std::string bytes(static_cast<size_t>(count), '\0');
    for (unsigned long long i = 0; i < count; ++i)
        bytes[static_cast<size_t>(i)] = PatternByte(i);
    return bytes;
}

std::string HttpRequestSeen::Header(const std::string& name) const
{
    for (const std::string& line : headers) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos && IEquals(line.substr(0, colon), name)) {
            const size_t start = line.find_first_not_of(' ', colon + 1);
            return start == std::string::npos ? std::string() : line.substr(start);
        }
    }
    return std::string();
}

bool HttpRequestSeen::HasHeader(const std::string& name) const
{
    for (const std::string& line : headers) {
        const size_t colon = line.find(':');
        if (colon != std::string::npos && IEquals(line.substr(0, colon), name))
            return true;
    }
    return false;
}

// ---- CLoopbackServer

struct CLoopbackServer::Connection {
    CLoopbackServer* pServer;
    SOCKET s;
};

CLoopbackServer::CLoopbackServer(DWORD dwLifetimeMs) : m_dwLifetimeMs(dwLifetimeMs)
{
    InitializeCriticalSection(&m_lock);
    WSADATA wsa;
    m_bWinsock = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    m_hStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_listener = ListenOnLoopback(SOMAXCONN, m_nPort);
    if (m_listener != INVALID_SOCKET)
        m_hAcceptThread = CreateThread(nullptr, 0, AcceptThread, this, 0, nullptr);
}

CLoopbackServer::~CLoopbackServer()
{
    Stop();
    CloseHandle(m_hStop);
    if (m_bWinsock)
        WSACleanup();
    DeleteCriticalSection(&m_lock);
}

void CLoopbackServer::Stop()
{
    SetEvent(m_hStop);
    if (m_hAcceptThread) {
        WaitForSingleObject(m_hAcceptThread, INFINITE);
        CloseHandle(m_hAcceptThread);
        m_hAcceptThread = nullptr;
    }
    if (m_listener != INVALID_SOCKET) {
        closesocket(m_listener);
        m_listener = INVALID_SOCKET;
    }
    EnterCriticalSection(&m_lock);
    std::vector<HANDLE> threads;
    threads.swap(m_connectionThreads);
    LeaveCriticalSection(&m_lock);
    for (HANDLE h : threads) {
        WaitForSingleObject(h, 2 * SOCKET_TIMEOUT_MS);
        CloseHandle(h);
    }
}

void CLoopbackServer::Serve(const std::string& path, const HttpReply& reply)
{
    EnterCriticalSection(&m_lock);
    m_replies[path] = reply;
    LeaveCriticalSection(&m_lock);
}

std::vector<HttpRequestSeen> CLoopbackServer::Requests() const
{
    EnterCriticalSection(&m_lock);
    std::vector<HttpRequestSeen> requests = m_requests;
    LeaveCriticalSection(&m_lock);
    return requests;
}

DWORD WINAPI CLoopbackServer::AcceptThread(LPVOID pParam)
{
    static_cast<CLoopbackServer*>(pParam)->AcceptLoop();
    return 0;
}

void CLoopbackServer::AcceptLoop()
{
    const ULONGLONG ullEnd = GetTickCount64() + m_dwLifetimeMs;
    while (WaitForSingleObject(m_hStop, 0) != WAIT_OBJECT_0 && GetTickCount64() < ullEnd) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listener, &readable);
        timeval tv = { 0, 50 * 1000 };
        if (select(0, &readable, nullptr, nullptr, &tv) <= 0)
            continue;
        SOCKET s = accept(m_listener, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            continue;
        Connection* pConnection = new Connection{ this, s };
        HANDLE hThread = CreateThread(nullptr, 0, ConnectionThread, pConnection, 0, nullptr);
        if (!hThread) {
            closesocket(s);
            delete pConnection;
            continue;
        }
        EnterCriticalSection(&m_lock);
        m_connectionThreads.push_back(hThread);
        LeaveCriticalSection(&m_lock);
    }
}

DWORD WINAPI CLoopbackServer::ConnectionThread(LPVOID pParam)
{
    Connection* pConnection = static_cast<Connection*>(pParam);
    pConnection->pServer->HandleConnection(pConnection->s);
    delete pConnection;
    return 0;
}

void CLoopbackServer::HandleConnection(SOCKET s)
{
    SetTimeouts(s, SOCKET_TIMEOUT_MS);
    std::string head;
    if (!ReadRequestHead(s, head)) {
        closesocket(s);
        return;
    }
    const HttpRequestSeen seen = ParseRequest(head);
    HttpReply reply = HttpReply::Status(404, "Not Found", "<html><body>404 Not Found</body></html>");
    EnterCriticalSection(&m_lock);
    m_requests.push_back(seen);
    const auto it = m_replies.find(seen.path);
    if (it != m_replies.end())
        reply = it->second;
    LeaveCriticalSection(&m_lock);

    if (reply.fault == HttpReply::Fault::CloseWithoutResponse) {
        CloseGracefully(s);
        return;
    }
    SendReply(s, reply);
}

void CLoopbackServer::SendReply(SOCKET s, const HttpReply& reply)
{
    const unsigned long long size = reply.patternBytes ? reply.patternBytes : reply.body.size();
    std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    if (reply.length == HttpReply::Length::Exact)
        head += "Content-Length: " + std::to_string(size) + "\r\n";
    else if (reply.length == HttpReply::Length::Announced)
        head += "Content-Length: " + std::to_string(reply.announcedLength) + "\r\n";
    for (const std::string& line : reply.headers)
        head += line + "\r\n";
    head += "Connection: close\r\n\r\n";
    if (!SendAll(s, head.data(), head.size())) {
        closesocket(s);
        return;
    }

    if (reply.fault == HttpReply::Fault::ResetMidBody) {
        SendBody(s, reply, 0, std::min(size, reply.faultAfter));
        // Let the bytes sent reach the peer: a reset drops what is still queued.
        Pause(300);
        CloseWithReset(s);
        return;
    }
    SendBody(s, reply, 0, size);
    CloseGracefully(s);
}

bool CLoopbackServer::SendBody(SOCKET s, const HttpReply& reply, unsigned long long from, unsigned long long count)
{
    const size_t pieceSize = std::max<size_t>(1, reply.pieceSize);
    std::string piece;
    for (unsigned long long pos = from; pos < from + count;) {
        if (reply.pieceDelayMs && !Pause(reply.pieceDelayMs))
            return false;
        if (WaitForSingleObject(m_hStop, 0) == WAIT_OBJECT_0)
            return false;
        const size_t n = static_cast<size_t>(std::min<unsigned long long>(pieceSize, from + count - pos));
        if (reply.patternBytes) {
            piece.resize(n);
            for (size_t i = 0; i < n; ++i)
                piece[i] = PatternByte(pos + i);
        } else {
            piece.assign(reply.body, static_cast<size_t>(pos), n);
        }
        if (!SendAll(s, piece.data(), n))
            return false;
        pos += n;
    }
    return true;
}

// Waits dwMs; false when the server is stopping.
bool CLoopbackServer::Pause(DWORD dwMs) const
{
    return WaitForSingleObject(m_hStop, dwMs) != WAIT_OBJECT_0;
}

// ---- CBacklogFullListener

CBacklogFullListener::CBacklogFullListener()
{
    WSADATA wsa;
    m_bWinsock = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    m_listener = ListenOnLoopback(1, m_nPort);
    if (m_listener == INVALID_SOCKET)
        return;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(m_nPort);
    // Connect until one attempt hangs: from then on the queue is full and
    // every further connect waits for an accept that never comes.
    for (int i = 0; i < 64 && !m_bFull; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nNonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nNonBlocking);
        connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        m_fillers.push_back(s);
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval tv = { 0, 200 * 1000 };
        m_bFull = select(0, nullptr, &writable, nullptr, &tv) == 0;
    }
}

CBacklogFullListener::~CBacklogFullListener()
{
    for (SOCKET s : m_fillers)
        closesocket(s);
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
    if (m_bWinsock)
        WSACleanup();
}

unsigned short ClosedLoopbackPort()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int nLength = sizeof addr;
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &nLength);
    closesocket(s);
    WSACleanup();
    return ntohs(addr.sin_port);
}
