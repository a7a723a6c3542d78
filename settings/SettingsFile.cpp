#include "settings/SettingsFile.h"

#include <cstdlib>
#include <vector>

const char SETTINGS_FILE_NAME[] = "Update.ini";
const char DEFAULT_SERVER[] = "127.0.0.1";
const char DEFAULT_PORT[] = "80";
const char DEFAULT_UPDATE_ROOT[] = "/update";
const char DEFAULT_ITEM_VERSION[] = "1.0";

CString ReadSetting(LPCSTR lpszSection, LPCSTR lpszKey, LPCSTR lpszDefault,
                    DWORD nBufferSize, LPCSTR lpszPath)
{
    std::vector<char> buffer(nBufferSize, '\0');
    GetPrivateProfileStringA(lpszSection, lpszKey, lpszDefault, buffer.data(), nBufferSize, lpszPath);
    buffer[nBufferSize - 1] = '\0';
    return CString(buffer.data());
}

WORD PortFromText(LPCSTR lpszPort)
{
    return static_cast<WORD>(std::atoi(lpszPort));
}

CString InstalledSettingsPath(const CString& strAppDir)
{
    return strAppDir + "\\" + SETTINGS_FILE_NAME;
}

CString ServerCopyPath(const CString& strTempDir)
{
    return strTempDir + "\\" + SETTINGS_FILE_NAME;
}

CString ItemBaseName(const CString& strItem)
{
    const int nDot = strItem.Find('.');
    return nDot < 0 ? CString() : strItem.Left(nDot);
}
