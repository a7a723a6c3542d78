#include "framework/Internet.h"
#include "framework/WinApp.h"

#include <vector>

namespace {

[[noreturn]] void ThrowLastInternetError()
{
    DWORD dwError = GetLastError();
    throw CInternetException(dwError != 0 ? dwError : ERROR_INTERNET_INTERNAL_ERROR);
}

LPCSTR VerbName(int nVerb)
{
    static const char* const s_verbs[] = { "POST", "GET", "HEAD", "PUT", "LINK", "DELETE", "UNLINK" };
    if (nVerb < CHttpConnection::HTTP_VERB_POST || nVerb > CHttpConnection::HTTP_VERB_UNLINK)
        throw CInternetException(ERROR_INVALID_PARAMETER);
    return s_verbs[nVerb];
}

}  // namespace

// ---- CInternetSession

CInternetSession::CInternetSession(LPCSTR lpszAgent, DWORD_PTR dwContext, DWORD dwAccessType,
                                   LPCSTR lpszProxyName, LPCSTR lpszProxyBypass, DWORD dwFlags)
    : m_dwContext(dwContext)
{
    m_hSession = CInternetHandle(InternetOpenA(lpszAgent ? lpszAgent : AfxGetAppName(), dwAccessType,
                                               lpszProxyName, lpszProxyBypass, dwFlags));
    if (m_hSession == nullptr)
        ThrowLastInternetError();
}

CInternetSession::~CInternetSession()
{
    m_hSession.Close();
}

BOOL CInternetSession::SetOption(DWORD dwOption, DWORD dwValue, DWORD dwFlags)
{
    (void)dwFlags;
    if (dwOption == INTERNET_OPTION_CONNECT_TIMEOUT)
        m_dwConnectTimeoutMs = dwValue;
    else if (dwOption == INTERNET_OPTION_RECEIVE_TIMEOUT)
        m_dwReceiveTimeoutMs = dwValue;
    return InternetSetOptionA(m_hSession, dwOption, &dwValue, sizeof dwValue);
}

std::unique_ptr<CHttpConnection> CInternetSession::GetHttpConnection(LPCSTR lpszServer, INTERNET_PORT nPort,
                                                                     LPCSTR lpszUserName, LPCSTR lpszPassword)
{
    HINTERNET hConnection = InternetConnectA(m_hSession, lpszServer, nPort, lpszUserName, lpszPassword,
                                             INTERNET_SERVICE_HTTP, 0, m_dwContext);
    if (hConnection == nullptr)
        ThrowLastInternetError();
    return std::make_unique<CHttpConnection>(*this, hConnection, lpszServer, nPort);
}

void CInternetSession::Close()
{
    m_hSession.Close();
}

// ---- CHttpConnection

CHttpConnection::CHttpConnection(const CInternetSession& session, HINTERNET hConnection, LPCSTR lpszServer,
                                 INTERNET_PORT nPort)
    : m_hConnection(hConnection),
      m_dwConnectTimeoutMs(session.GetConnectTimeout()),
      m_dwReceiveTimeoutMs(session.GetReceiveTimeout())
{
    if (nPort == INTERNET_INVALID_PORT_NUMBER)
        nPort = INTERNET_DEFAULT_HTTP_PORT;
    m_target = AfxConnectTargetOf(session, lpszServer, nPort);
}

CHttpConnection::~CHttpConnection()
{
    m_hConnection.Close();
}

std::unique_ptr<CHttpFile> CHttpConnection::OpenRequest(int nVerb, LPCSTR lpszObjectName, LPCSTR lpszReferer,
                                                        DWORD_PTR dwContext, LPCSTR* ppszAcceptTypes,
                                                        LPCSTR lpszVersion, DWORD dwFlags)
{
    HINTERNET hRequest = HttpOpenRequestA(m_hConnection, VerbName(nVerb), lpszObjectName,
                                          lpszVersion ? lpszVersion : HTTP_VERSION_1_0, lpszReferer,
                                          ppszAcceptTypes, dwFlags, dwContext);
    if (hRequest == nullptr)
        ThrowLastInternetError();
    std::unique_ptr<CHttpFile> pFile = std::make_unique<CHttpFile>(hRequest, m_target, m_dwConnectTimeoutMs);
    // Wine honours a receive time-out only on the request handle.
    InternetSetOptionA(hRequest, INTERNET_OPTION_RECEIVE_TIMEOUT, &m_dwReceiveTimeoutMs, sizeof m_dwReceiveTimeoutMs);
    return pFile;
}

void CHttpConnection::Close()
{
    m_hConnection.Close();
}

// ---- CHttpFile

CHttpFile::CHttpFile(HINTERNET hRequest, const CConnectTarget& target, DWORD dwConnectTimeoutMs)
    : m_hRequest(hRequest), m_target(target), m_dwConnectTimeoutMs(dwConnectTimeoutMs)
{
}

CHttpFile::~CHttpFile()
{
    m_hRequest.Close();
}

BOOL CHttpFile::AddRequestHeaders(LPCSTR lpszHeaders, DWORD dwFlags, int dwHeadersLen)
{
    return HttpAddRequestHeadersA(m_hRequest, lpszHeaders, static_cast<DWORD>(dwHeadersLen), dwFlags);
}

BOOL CHttpFile::SendRequest(LPCSTR lpszHeaders, DWORD dwHeadersLen, LPVOID lpOptional, DWORD dwOptionalLen)
{
    // The connect time-out, kept here because Wine's WinINet ignores it.
    const DWORD dwConnectError = AfxConnectWithin(m_target, m_dwConnectTimeoutMs);
    if (dwConnectError != 0)
        throw CInternetException(dwConnectError);
    if (!HttpSendRequestA(m_hRequest, lpszHeaders, dwHeadersLen, lpOptional, dwOptionalLen))
        ThrowLastInternetError();
    return TRUE;
}

UINT CHttpFile::Read(void* lpBuf, UINT nCount)
{
    // After a failed read Wine's next read returns 0 bytes, which would pass
    // for the end of the body: the failure stands for every later read.
    if (m_dwReadError != 0)
        throw CInternetException(m_dwReadError);
    DWORD dwRead = 0;
    if (!InternetReadFile(m_hRequest, lpBuf, nCount, &dwRead)) {
        m_dwReadError = GetLastError() != 0 ? GetLastError() : ERROR_INTERNET_INTERNAL_ERROR;
        throw CInternetException(m_dwReadError);
    }
    return dwRead;
}

BOOL CHttpFile::QueryInfo(DWORD dwInfoLevel, CString& strValue, LPDWORD lpdwIndex) const
{
    strValue.Empty();
    std::vector<char> buffer(256);
    for (;;) {
        DWORD dwLength = static_cast<DWORD>(buffer.size());
        if (HttpQueryInfoA(m_hRequest, dwInfoLevel, buffer.data(), &dwLength, lpdwIndex)) {
            strValue = CString(buffer.data(), static_cast<int>(dwLength));
            return TRUE;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || dwLength <= buffer.size())
            return FALSE;
        buffer.resize(dwLength + 1);
    }
}

void CHttpFile::Close()
{
    m_hRequest.Close();
}
