#include "framework/CommandLine.h"

LPSTR AfxCommandLineTail(LPSTR lpszCommandLine)
{
    LPSTR p = lpszCommandLine;
    if (p == nullptr)
        return nullptr;
    if (*p == '"') {
        // A quoted program path ends at the closing quotation mark.
        ++p;
        while (*p != '\0' && *p != '"')
            p = CharNextA(p);
        if (*p == '"')
            ++p;
    } else {
        while (*p != '\0' && *p != ' ' && *p != '\t')
            p = CharNextA(p);
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}
