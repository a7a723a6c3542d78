#include "settings/LocalPath.h"

#include <mbctype.h>
#include <mbstring.h>

namespace {

BOOL IsSeparator(unsigned char ch)
{
    return ch == '\\' || ch == '/';
}

// The name read piece by piece, stepping over double-byte characters (a GBK
// trail byte may be 0x5C, the backslash): FALSE when a ".." leaves the
// directory or the pieces end on the directory itself.
BOOL StaysBelow(const unsigned char* p)
{
    int nDepth = 0;
    while (*p != '\0') {
        const unsigned char* pStart = p;
        while (*p != '\0' && !IsSeparator(*p))
            p += (_ismbblead(*p) && p[1] != '\0') ? 2 : 1;
        const size_t nLength = static_cast<size_t>(p - pStart);
        if (nLength == 2 && pStart[0] == '.' && pStart[1] == '.') {
            if (--nDepth < 0)
                return FALSE;
        } else if (nLength > 0 && !(nLength == 1 && pStart[0] == '.')) {
            ++nDepth;
        }
        if (*p != '\0')
            ++p;
    }
    return nDepth > 0;
}

// The platform's own reading of the name: its full path must lie below the
// directory (this also covers the trailing dots and blanks that Windows
// drops from a piece).
BOOL FullPathIsBelow(const CString& strAppDir, const CString& strLocalName)
{
    const CString strJoined = strAppDir + "\\" + strLocalName;
    char szFull[MAX_PATH * 2] = "";
    const DWORD n = GetFullPathNameA(strJoined, sizeof szFull, szFull, nullptr);
    if (n == 0 || n >= sizeof szFull)
        return FALSE;
    char szDir[MAX_PATH * 2] = "";
    const DWORD nDir = GetFullPathNameA(strAppDir + "\\", sizeof szDir, szDir, nullptr);
    if (nDir == 0 || nDir >= sizeof szDir || n <= nDir)
        return FALSE;
    return _mbsnbicmp(reinterpret_cast<const unsigned char*>(szFull),
                      reinterpret_cast<const unsigned char*>(szDir), nDir) == 0;
}

}  // namespace

BOOL IsLocalNameInside(const CString& strAppDir, const CString& strLocalName)
{
    const unsigned char* pName = reinterpret_cast<const unsigned char*>(static_cast<LPCSTR>(strLocalName));
    if (*pName == '\0' || IsSeparator(*pName))
        return FALSE;
    if (_mbschr(pName, ':') != nullptr)
        return FALSE;
    if (!StaysBelow(pName))
        return FALSE;
    return FullPathIsBelow(strAppDir, strLocalName);
}
