// The framework's exceptions. They are thrown by value and carry their own
// text; a handler that cannot name the error shows "内部应用程序出错。".
#pragma once
#include <windows.h>
#include "framework/String.h"

class CException {
public:
    virtual ~CException() = default;
    // Copies the error's text into the buffer (cut to nMaxError - 1 bytes);
    // FALSE when the error has no text of its own.
    virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = nullptr) const;
    // The error's own text, or the generic text when it supplies none.
    CString GetErrorText() const;
    // Shows GetErrorText() in a message box.
    int ReportError(UINT nType = MB_OK) const;

protected:
    static BOOL CopyMessage(const CString& strText, LPSTR lpszError, UINT nMaxError);
};

// A file operation failed; m_lOsError is the system's error code.
class CFileException : public CException {
public:
    explicit CFileException(LONG lOsError = 0, LPCSTR lpszFileName = nullptr)
        : m_lOsError(lOsError), m_strFileName(lpszFileName) {}
    BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = nullptr) const override;

    LONG m_lOsError;
    CString m_strFileName;
};

// A network operation failed; m_dwError is the WinINet (or Winsock) error code.
class CInternetException : public CException {
public:
    explicit CInternetException(DWORD dwError) : m_dwError(dwError) {}
    BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = nullptr) const override;

    DWORD m_dwError;
};

// The system's text for an error code, looked up in the system and, for
// WinINet codes, in wininet.dll; empty when there is none.
CString AfxSystemErrorText(DWORD dwError);

// The text shown for an error that supplies none.
extern const char AFX_INTERNAL_FAILURE_TEXT[];
