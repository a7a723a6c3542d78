// One HTTP exchange as the version check and the download make it: a blocking
// session of its own, a connect time-out of 2000 ms, one GET request with the
// dialog's request flags. Everything is closed on every path.
#pragma once
#include "framework/Afx.h"

class CHttpExchange {
public:
    enum { CONNECT_TIMEOUT_MS = 2000 };

    // Opens the session, the connection and the request; a failure raises
    // CInternetException (the request is not sent yet).
    CHttpExchange(const CString& strServer, INTERNET_PORT nPort, const CString& strPath, DWORD dwRequestFlags);
    CHttpExchange(const CHttpExchange&) = delete;
    CHttpExchange& operator=(const CHttpExchange&) = delete;

    CHttpFile& Request() { return *m_pRequest; }
    // Closes the request, the connection and the session; safe to repeat.
    void Close();

private:
    CInternetSession m_session;
    std::unique_ptr<CHttpConnection> m_pConnection;
    std::unique_ptr<CHttpFile> m_pRequest;
};

// The response's Content-Length: TRUE with its value when announced, read as
// atol reads it (no digits give 0).
BOOL QueryAnnouncedLength(const CHttpFile& request, ULONGLONG& ullLength);
