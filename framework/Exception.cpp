#include "framework/Exception.h"
#include "framework/MessageBox.h"

#include <cstring>

const char AFX_INTERNAL_FAILURE_TEXT[] = "内部应用程序出错。";

BOOL CException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext) *pnHelpContext = 0;
    if (lpszError && nMaxError > 0) *lpszError = '\0';
    return FALSE;
}

CString CException::GetErrorText() const
{
    char szText[1024] = "";
    if (GetErrorMessage(szText, sizeof szText) && szText[0] != '\0')
        return CString(szText);
    return CString(AFX_INTERNAL_FAILURE_TEXT);
}

int CException::ReportError(UINT nType) const
{
    return AfxMessageBox(GetErrorText(), nType);
}

BOOL CException::CopyMessage(const CString& strText, LPSTR lpszError, UINT nMaxError)
{
    if (lpszError == nullptr || nMaxError == 0)
        return FALSE;
    lstrcpynA(lpszError, strText, static_cast<int>(nMaxError));
    return !strText.IsEmpty();
}

BOOL CFileException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext) *pnHelpContext = 0;
    CString strText = AfxSystemErrorText(static_cast<DWORD>(m_lOsError));
    if (!m_strFileName.IsEmpty())
        strText = m_strFileName + ": " + strText;
    return CopyMessage(strText, lpszError, nMaxError);
}

BOOL CInternetException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext) const
{
    if (pnHelpContext) *pnHelpContext = 0;
    return CopyMessage(AfxSystemErrorText(m_dwError), lpszError, nMaxError);
}

CString AfxSystemErrorText(DWORD dwError)
{
    char szBuffer[1024] = "";
    DWORD dwLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, dwError, 0, szBuffer, sizeof szBuffer, nullptr);
    if (dwLength == 0) {
        // WinINet's texts live in its own module's message table.
        static const HMODULE hWinInet = LoadLibraryExA("wininet.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (hWinInet)
            dwLength = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      hWinInet, dwError, 0, szBuffer, sizeof szBuffer, nullptr);
    }
    while (dwLength > 0 && (szBuffer[dwLength - 1] == '\n' || szBuffer[dwLength - 1] == '\r'))
        szBuffer[--dwLength] = '\0';
    return CString(szBuffer);
}
