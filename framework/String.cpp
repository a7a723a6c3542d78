#include "framework/String.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

int CString::Find(char ch, int nStart) const
{
    const int nLength = GetLength();
    for (int i = 0; i < nLength; ++i) {
        const char c = m_str[i];
        if (i >= nStart && c == ch)
            return i;
        if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < nLength)
            ++i;  // the trail byte is part of this character
    }
    return -1;
}

int CString::Find(LPCSTR pszSub, int nStart) const
{
    if (nStart < 0 || nStart > GetLength() || pszSub == nullptr)
        return -1;
    const std::string::size_type pos = m_str.find(pszSub, nStart);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int nCount) const
{
    if (nCount < 0) nCount = 0;
    return CString(m_str.substr(0, nCount));
}

CString CString::Mid(int nFirst) const
{
    return Mid(nFirst, GetLength());
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0) nFirst = 0;
    if (nFirst >= GetLength() || nCount <= 0)
        return CString();
    return CString(m_str.substr(nFirst, nCount));
}

CString CString::Right(int nCount) const
{
    if (nCount <= 0) return CString();
    if (nCount >= GetLength()) return *this;
    return CString(m_str.substr(GetLength() - nCount));
}

int CString::Delete(int nIndex, int nCount)
{
    if (nIndex < 0) nIndex = 0;
    if (nIndex < GetLength() && nCount > 0)
        m_str.erase(nIndex, nCount);
    return GetLength();
}

void CString::Format(LPCSTR pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    if (n < 0) {
        m_str.clear();
    } else {
        m_str.assign(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(&m_str[0], m_str.size(), pszFormat, args);
        m_str.resize(n);
    }
    va_end(args);
}

LPSTR CString::GetBuffer(int nMinLength)
{
    if (nMinLength > GetLength())
        m_str.resize(nMinLength);
    return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength)
{
    if (nNewLength < 0)
        nNewLength = static_cast<int>(std::strlen(m_str.c_str()));
    m_str.resize(nNewLength);
}
