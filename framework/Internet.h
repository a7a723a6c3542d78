// The internet classes over WinINet: one blocking session, HTTP connections
// and requests. Every handle lives in an owner that closes it on every path;
// every failure raises CInternetException (thrown by value) with the
// platform's error code.
//
//   CInternetSession session;                       // agent: the application's name
//   session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 2000);
//   std::unique_ptr<CHttpConnection> pConnection = session.GetHttpConnection(server, port);
//   std::unique_ptr<CHttpFile> pFile = pConnection->OpenRequest(CHttpConnection::HTTP_VERB_GET, path, ...);
//   pFile->SendRequest();
//   while ((n = pFile->Read(buffer, sizeof buffer)) > 0) ...
//
// Two promises are kept here even where Wine's WinINet does not keep them:
// the connect time-out bounds SendRequest (see InternetConnectBound.h), and
// every request has a receive time-out, so a stalled server cannot hold a
// read for ever.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <memory>
#include "framework/Exception.h"
#include "framework/InternetConnectBound.h"
#include "framework/InternetHandle.h"
#include "framework/String.h"

class CHttpConnection;
class CHttpFile;

// The HTTP version sent when a request names none.
#define HTTP_VERSION_1_0 "HTTP/1.0"

class CInternetSession {
public:
    // Receive time-out of every request unless SetOption gives another.
    enum { DEFAULT_RECEIVE_TIMEOUT_MS = 30000 };
    // Connect time-out unless SetOption gives another (WinINet's own default).
    enum { DEFAULT_CONNECT_TIMEOUT_MS = 60000 };

    // lpszAgent null: the application's name. Raises CInternetException.
    explicit CInternetSession(LPCSTR lpszAgent = nullptr, DWORD_PTR dwContext = 1,
                              DWORD dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG,
                              LPCSTR lpszProxyName = nullptr, LPCSTR lpszProxyBypass = nullptr,
                              DWORD dwFlags = 0);
    virtual ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Sets a numeric option of the session. The connect and receive time-outs
    // are also kept by the framework (see the file comment).
    BOOL SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags = 0);

    // Raises CInternetException when the connection object cannot be made.
    std::unique_ptr<CHttpConnection> GetHttpConnection(LPCSTR lpszServer,
                                                       INTERNET_PORT nPort = INTERNET_INVALID_PORT_NUMBER,
                                                       LPCSTR lpszUserName = nullptr, LPCSTR lpszPassword = nullptr);
    // Safe to repeat; close the session's connections and requests first.
    virtual void Close();

    operator HINTERNET() const { return m_hSession; }
    DWORD_PTR GetContext() const { return m_dwContext; }
    DWORD GetConnectTimeout() const { return m_dwConnectTimeoutMs; }
    DWORD GetReceiveTimeout() const { return m_dwReceiveTimeoutMs; }

private:
    CInternetHandle m_hSession;
    DWORD_PTR m_dwContext;
    DWORD m_dwConnectTimeoutMs = DEFAULT_CONNECT_TIMEOUT_MS;
    DWORD m_dwReceiveTimeoutMs = DEFAULT_RECEIVE_TIMEOUT_MS;
};

class CHttpConnection {
public:
    enum { HTTP_VERB_POST = 0, HTTP_VERB_GET = 1, HTTP_VERB_HEAD = 2, HTTP_VERB_PUT = 3,
           HTTP_VERB_LINK = 4, HTTP_VERB_DELETE = 5, HTTP_VERB_UNLINK = 6 };

    // Made by CInternetSession::GetHttpConnection.
    CHttpConnection(const CInternetSession& session, HINTERNET hConnection, LPCSTR lpszServer, INTERNET_PORT nPort);
    virtual ~CHttpConnection();
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    // A request; lpszVersion null sends "HTTP/1.0". Raises CInternetException.
    std::unique_ptr<CHttpFile> OpenRequest(int nVerb, LPCSTR lpszObjectName, LPCSTR lpszReferer = nullptr,
                                           DWORD_PTR dwContext = 1, LPCSTR* ppszAcceptTypes = nullptr,
                                           LPCSTR lpszVersion = nullptr,
                                           DWORD dwFlags = INTERNET_FLAG_EXISTING_CONNECT);
    // Safe to repeat.
    virtual void Close();

    operator HINTERNET() const { return m_hConnection; }

private:
    CInternetHandle m_hConnection;
    CConnectTarget m_target;  // where the TCP connection goes (server or proxy)
    DWORD m_dwConnectTimeoutMs;
    DWORD m_dwReceiveTimeoutMs;
};

class CHttpFile {
public:
    // Made by CHttpConnection::OpenRequest.
    CHttpFile(HINTERNET hRequest, const CConnectTarget& target, DWORD dwConnectTimeoutMs);
    virtual ~CHttpFile();
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    // dwHeadersLen -1: the length of the text. Returns the platform's result.
    BOOL AddRequestHeaders(LPCSTR lpszHeaders, DWORD dwFlags = HTTP_ADDREQ_FLAG_ADD_IF_NEW, int dwHeadersLen = -1);
    // Sends the request within the connect time-out; returns TRUE or raises
    // CInternetException (name not resolved, refused, timed out, ...).
    BOOL SendRequest(LPCSTR lpszHeaders = nullptr, DWORD dwHeadersLen = 0,
                     LPVOID lpOptional = nullptr, DWORD dwOptionalLen = 0);
    // The bytes placed in the buffer, 0 at the end of the body. A failed read
    // raises CInternetException, and so does every read after it.
    UINT Read(void* lpBuf, UINT nCount);
    // A response header (HTTP_QUERY_*) as text; FALSE and an empty text when
    // the response lacks it.
    BOOL QueryInfo(DWORD dwInfoLevel, CString& strValue, LPDWORD lpdwIndex = nullptr) const;
    // Safe to repeat.
    virtual void Close();

    operator HINTERNET() const { return m_hRequest; }

private:
    CInternetHandle m_hRequest;
    CConnectTarget m_target;
    DWORD m_dwConnectTimeoutMs;
    DWORD m_dwReadError = 0;  // the error of a failed read, raised again by every later read
};
