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

UINT CStdioFile::Read(void* lpBuf, UINT nCount)
{
    Flush();
    return CFile::Read(lpBuf, nCount);
}

void CStdioFile::Write(const void* lpBuf, UINT nCount)
{
    if (m_buffer.capacity() < BUFFER_SIZE)
        m_buffer.reserve(BUFFER_SIZE);
    if (m_buffer.size() + nCount > BUFFER_SIZE)
        Flush();
    if (nCount >= BUFFER_SIZE) {
        CFile::Write(lpBuf, nCount);
        return;
    }
    const char* p = static_cast<const char*>(lpBuf);
    m_buffer.insert(m_buffer.end(), p, p + nCount);
}

void CStdioFile::Flush()
{
    if (m_buffer.empty())
        return;
    // The buffer is emptied either way: a failed write is reported once.
    try {
        CFile::Write(m_buffer.data(), static_cast<UINT>(m_buffer.size()));
    } catch (...) {
        m_buffer.clear();
        throw;
    }
    m_buffer.clear();
}

void CStdioFile::Close()
{
    if (IsOpen())
        Flush();
    CFile::Close();
}

void CStdioFile::Abort()
{
    m_buffer.clear();
    CFile::Abort();
}
