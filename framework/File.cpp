#include "framework/File.h"

namespace {

DWORD AccessOf(UINT nOpenFlags)
{
    switch (nOpenFlags & 0x3) {
    case CFile::modeWrite: return GENERIC_WRITE;
    case CFile::modeReadWrite: return GENERIC_READ | GENERIC_WRITE;
    default: return GENERIC_READ;
    }
}

DWORD ShareOf(UINT nOpenFlags)
{
    switch (nOpenFlags & 0x70) {
    case CFile::shareDenyWrite: return FILE_SHARE_READ;
    case CFile::shareDenyRead: return FILE_SHARE_WRITE;
    case CFile::shareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return 0;  // shareCompat, shareExclusive
    }
}

DWORD CreationOf(UINT nOpenFlags)
{
    if (!(nOpenFlags & CFile::modeCreate))
        return OPEN_EXISTING;
    return (nOpenFlags & CFile::modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
}

}  // namespace

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    Abort();
    SECURITY_ATTRIBUTES sa = { sizeof sa, nullptr, (nOpenFlags & modeNoInherit) ? FALSE : TRUE };
    HANDLE hFile = CreateFileA(lpszFileName, AccessOf(nOpenFlags), ShareOf(nOpenFlags), &sa,
                               CreationOf(nOpenFlags), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        if (pError)
            *pError = CFileException(static_cast<LONG>(GetLastError()), lpszFileName);
        return FALSE;
    }
    m_hFile = hFile;
    m_strFileName = lpszFileName;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    DWORD dwRead = 0;
    if (!ReadFile(m_hFile, lpBuf, nCount, &dwRead, nullptr))
        ThrowLastError();
    return dwRead;
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    DWORD dwWritten = 0;
    if (!WriteFile(m_hFile, lpBuf, nCount, &dwWritten, nullptr))
        ThrowLastError();
    if (dwWritten != nCount)
        throw CFileException(ERROR_DISK_FULL, m_strFileName);
}

void CFile::Close()
{
    if (!IsOpen())
        return;
    HANDLE hFile = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!CloseHandle(hFile))
        ThrowLastError();
}

void CFile::Abort()
{
    if (IsOpen()) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}

void CFile::ThrowLastError() const
{
    throw CFileException(static_cast<LONG>(GetLastError()), m_strFileName);
}
