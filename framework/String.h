// CString: an ANSI text with value semantics (the bytes of the ANSI code page,
// GBK on the target systems). Searches step over double-byte characters.
#pragma once
#include <windows.h>
#include <string>

class CString {
public:
    CString() = default;
    CString(LPCSTR psz) : m_str(psz ? psz : "") {}
    CString(LPCSTR pch, int nLength) : m_str(pch, nLength > 0 ? nLength : 0) {}
    CString(char ch, int nRepeat = 1) : m_str(nRepeat > 0 ? nRepeat : 0, ch) {}
    CString(const std::string& s) : m_str(s) {}

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    operator LPCSTR() const { return m_str.c_str(); }
    LPCSTR GetString() const { return m_str.c_str(); }
    char GetAt(int nIndex) const { return m_str[nIndex]; }
    const std::string& Str() const { return m_str; }

    CString& operator=(LPCSTR psz) { m_str = psz ? psz : ""; return *this; }
    CString& operator+=(const CString& s) { m_str += s.m_str; return *this; }
    CString& operator+=(LPCSTR psz) { if (psz) m_str += psz; return *this; }
    CString& operator+=(char ch) { m_str += ch; return *this; }

    // Byte-wise comparison, as strcmp.
    int Compare(LPCSTR psz) const { return m_str.compare(psz ? psz : ""); }

    // Index of the first ch (a single-byte character) at or after nStart, or -1.
    // The second byte of a double-byte character is never taken for ch.
    int Find(char ch, int nStart = 0) const;
    // Index of the first occurrence of a text at or after nStart, or -1.
    int Find(LPCSTR pszSub, int nStart = 0) const;

    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Right(int nCount) const;
    // Removes nCount bytes from nIndex on; returns the new length.
    int Delete(int nIndex, int nCount = 1);

    // printf-style formatting.
    void Format(LPCSTR pszFormat, ...);

    // Direct access to a buffer of at least nMinLength bytes plus a terminator;
    // ReleaseBuffer sets the length (to the terminator when nNewLength is -1).
    LPSTR GetBuffer(int nMinLength);
    void ReleaseBuffer(int nNewLength = -1);

private:
    std::string m_str;
};

inline CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
inline CString operator+(const CString& a, LPCSTR b) { CString r(a); r += b; return r; }
inline CString operator+(LPCSTR a, const CString& b) { CString r(a); r += b; return r; }
inline CString operator+(const CString& a, char b) { CString r(a); r += b; return r; }

inline bool operator==(const CString& a, const CString& b) { return a.Str() == b.Str(); }
inline bool operator==(const CString& a, LPCSTR b) { return a.Compare(b) == 0; }
inline bool operator==(LPCSTR a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return !(a == b); }
inline bool operator!=(const CString& a, LPCSTR b) { return !(a == b); }
inline bool operator!=(LPCSTR a, const CString& b) { return !(b == a); }
