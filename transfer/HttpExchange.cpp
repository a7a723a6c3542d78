#include "transfer/HttpExchange.h"

#include <cstdlib>

CHttpExchange::CHttpExchange(const CString& strServer, INTERNET_PORT nPort, const CString& strPath,
                             DWORD dwRequestFlags)
{
    m_session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, CONNECT_TIMEOUT_MS);
    m_pConnection = m_session.GetHttpConnection(strServer, nPort);
    m_pRequest = m_pConnection->OpenRequest(CHttpConnection::HTTP_VERB_GET, strPath, nullptr, 1, nullptr,
                                            nullptr, dwRequestFlags);
}

void CHttpExchange::Close()
{
    m_pRequest->Close();
    m_pConnection->Close();
    m_session.Close();
}

BOOL QueryAnnouncedLength(const CHttpFile& request, ULONGLONG& ullLength)
{
    CString strLength;
    ullLength = 0;
    if (!request.QueryInfo(HTTP_QUERY_CONTENT_LENGTH, strLength))
        return FALSE;
    // As atol, but wide enough for files of 4 GiB and more.
    const long long llLength = std::strtoll(strLength, nullptr, 10);
    ullLength = llLength > 0 ? static_cast<ULONGLONG>(llLength) : 0;
    return TRUE;
}
