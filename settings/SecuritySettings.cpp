#include "settings/SecuritySettings.h"
#include "settings/SettingsFile.h"
#include "framework/Crypto.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char SECTION_SECURITY[] = "Security";
// Room for much more than a key's 88 characters: a longer value is cut and
// then decodes to the wrong size, which counts as malformed.
const DWORD KEY_BUFFER = 256;
const DWORD FLAG_BUFFER = 32;

// The key's value, or FALSE when the key is absent. Read with two different
// defaults: no value in the file can equal both, so "absent" and "present,
// whatever it holds (even empty)" never read alike.
BOOL ReadPresent(LPCSTR lpszSection, LPCSTR lpszKey, DWORD nBufferSize, LPCSTR lpszPath, CString& strValue)
{
    strValue = ReadSetting(lpszSection, lpszKey, "0", nBufferSize, lpszPath);
    return strValue != "0" || ReadSetting(lpszSection, lpszKey, "1", nBufferSize, lpszPath) != "1";
}

}  // namespace

CSecuritySettings::CSecuritySettings(LPCSTR lpszPath)
{
    CString strKey;
    m_bKeyPinned = ReadPresent(SECTION_SECURITY, "PublicKey", KEY_BUFFER, lpszPath, strKey);
    if (m_bKeyPinned) {
        std::vector<BYTE> key;
        m_bKeyValid = Base64Decode(strKey, key) && key.size() == PUBLIC_KEY_SIZE;
        if (m_bKeyValid)
            memcpy(m_publicKey, key.data(), PUBLIC_KEY_SIZE);
    }
    m_bHttps = std::atoi(ReadSetting(SECTION_SECURITY, "Https", "0", FLAG_BUFFER, lpszPath)) != 0;
    CString strPort;
    m_bPortGiven = ReadPresent("SystemInfo", "Port", SETTINGS_PORT_BUFFER, lpszPath, strPort);
}

DWORD CSecuritySettings::RequestFlags(DWORD dwFlags) const
{
    return m_bHttps ? (dwFlags | INTERNET_FLAG_SECURE) : dwFlags;
}

INTERNET_PORT CSecuritySettings::Port(INTERNET_PORT nConfigured) const
{
    if (m_bHttps && (!m_bPortGiven || nConfigured == INTERNET_INVALID_PORT_NUMBER))
        return HTTPS_DEFAULT_PORT;
    return nConfigured;
}
