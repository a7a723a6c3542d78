// A scriptable HTTP server for tests, in the test's own process, on 127.0.0.1
// and a free port. It answers each request path with a scripted reply - a
// status, headers and a body, or one of the faults a real network shows - and
// logs every request line and header for assertions.
//
//   CLoopbackServer server;                                  // listening at once
//   server.Serve("/upd/Update.zip", HttpReply::Ok("[tool]\r\nCurrentVersion=2.0\r\n"));
//   HttpReply broken = HttpReply::Ok(std::string(10000, 'x'));
//   broken.fault = HttpReply::Fault::ResetMidBody;           // RST after faultAfter body bytes
//   broken.faultAfter = 4000;
//   server.Serve("/upd/tool.zip", broken);
//   ... the code under test talks to 127.0.0.1:server.Port() ...
//   server.Requests()[0].Header("User-Agent")
//
// A path without a reply gets "404 Not Found" with a short page. Every reply
// ends by closing the connection (HTTP/1.0). Connections that close without
// sending a request (the framework's connect check makes one per request)
// are not logged. The server stops by itself after its lifetime, and at once
// when the object goes, stalled and slow replies included.
//
// CBacklogFullListener: a listener whose queue is full and that never
// accepts, so that a connect to it neither succeeds nor fails.
//
// ClosedLoopbackPort(): a loopback port where nothing listens, for a server
// out of reach.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <map>
#include <string>
#include <vector>

struct HttpReply {
    enum class Length {
        Exact,      // Content-Length: the body's size
        Absent,     // no Content-Length; the close ends the body
        Announced,  // Content-Length: announcedLength, then the body, then a close
    };
    enum class Fault {
        None,
        ResetMidBody,          // faultAfter body bytes, then a reset (RST)
        CloseWithoutResponse,  // the request is read, then the connection closed
    };

    int status = 200;
    std::string reason = "OK";
    std::vector<std::string> headers;  // extra lines "Name: value"
    std::string body;
    // When not 0 the body is this many bytes of PatternBytes, made as it is
    // sent (for large bodies that must not sit in the test's memory).
    unsigned long long patternBytes = 0;
    Length length = Length::Exact;
    unsigned long long announcedLength = 0;
    Fault fault = Fault::None;
    unsigned long long faultAfter = 0;
    // Slow body: a pause before every piece of pieceSize bytes.
    DWORD pieceDelayMs = 0;
    size_t pieceSize = 64 * 1024;

    static HttpReply Ok(const std::string& body);
    static HttpReply Status(int status, const std::string& reason, const std::string& body);
};

// Byte i of a pattern body.
inline char PatternByte(unsigned long long i) { return static_cast<char>((i % 251) ^ (i >> 16)); }
std::string PatternBytes(unsigned long long count);

struct HttpRequestSeen {
    std::string requestLine;           // "GET /path HTTP/1.0"
    std::string method;
    std::string path;
    std::vector<std::string> headers;  // every header line as it came
    // The value of the first header with this name (any letter case), or "".
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

class CLoopbackServer {
public:
    explicit CLoopbackServer(DWORD dwLifetimeMs = 120000);
    ~CLoopbackServer();
    CLoopbackServer(const CLoopbackServer&) = delete;
    CLoopbackServer& operator=(const CLoopbackServer&) = delete;

    unsigned short Port() const { return m_nPort; }
    // Replaces the reply for the path (the request target as sent, e.g. "/a/b.zip").
    void Serve(const std::string& path, const HttpReply& reply);
    std::vector<HttpRequestSeen> Requests() const;
    // Stops accepting and ends every connection; safe to repeat.
    void Stop();

private:
    struct Connection;
    static DWORD WINAPI AcceptThread(LPVOID pParam);
    static DWORD WINAPI ConnectionThread(LPVOID pParam);
    void AcceptLoop();
    void HandleConnection(SOCKET s);
    void SendReply(SOCKET s, const HttpReply& reply);
    bool SendBody(SOCKET s, const HttpReply& reply, unsigned long long from, unsigned long long count);
    bool Pause(DWORD dwMs) const;

    SOCKET m_listener = INVALID_SOCKET;
    unsigned short m_nPort = 0;
    DWORD m_dwLifetimeMs;
    HANDLE m_hStop = nullptr;
    HANDLE m_hAcceptThread = nullptr;
    mutable CRITICAL_SECTION m_lock;
    std::map<std::string, HttpReply> m_replies;
    std::vector<HttpRequestSeen> m_requests;
    std::vector<HANDLE> m_connectionThreads;
    bool m_bWinsock = false;
};

class CBacklogFullListener {
public:
    CBacklogFullListener();
    ~CBacklogFullListener();
    CBacklogFullListener(const CBacklogFullListener&) = delete;
    CBacklogFullListener& operator=(const CBacklogFullListener&) = delete;

    unsigned short Port() const { return m_nPort; }
    // True when a connect attempt was seen to hang (the queue is full).
    bool IsFull() const { return m_bFull; }

private:
    SOCKET m_listener = INVALID_SOCKET;
    std::vector<SOCKET> m_fillers;
    unsigned short m_nPort = 0;
    bool m_bFull = false;
    bool m_bWinsock = false;
};

// A loopback port that was free a moment ago: bound, read and closed again.
unsigned short ClosedLoopbackPort();
