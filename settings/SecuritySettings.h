// The [Security] section of the installed settings: the key that signs the
// server's settings copy, and whether the server is spoken to over HTTPS.
// Both are off when the section is absent, and the updater then behaves as
// it always did.
//
//   [Security]
//   PublicKey=<base64 of the 64-byte P-256 public key, X then Y>
//   Https=1
#pragma once
#include "framework/Afx.h"

class CSecuritySettings {
public:
    enum { PUBLIC_KEY_SIZE = 64, HTTPS_DEFAULT_PORT = 443 };

    // Reads the section (and whether [SystemInfo] names a Port) from the
    // settings file at lpszPath.
    explicit CSecuritySettings(LPCSTR lpszPath);

    // PublicKey is present: the server's copy must be signed, and every file
    // it offers must carry its digest. A key that is present but malformed
    // still pins: it verifies nothing.
    BOOL KeyPinned() const { return m_bKeyPinned; }
    // The key decoded to exactly 64 bytes (meaningful when KeyPinned).
    BOOL KeyValid() const { return m_bKeyValid; }
    const BYTE* PublicKey() const { return m_publicKey; }

    // Https is a number other than 0.
    BOOL Https() const { return m_bHttps; }
    // The request flags for a request of the exchange: the secure flag added
    // under HTTPS.
    DWORD RequestFlags(DWORD dwFlags) const;
    // The port to use, given the one read from the settings: under HTTPS a
    // Port that is absent (or reads as 0, WinINet's "the scheme's default")
    // is 443.
    INTERNET_PORT Port(INTERNET_PORT nConfigured) const;

private:
    BOOL m_bKeyPinned = FALSE;
    BOOL m_bKeyValid = FALSE;
    BYTE m_publicKey[PUBLIC_KEY_SIZE] = {};
    BOOL m_bHttps = FALSE;
    BOOL m_bPortGiven = FALSE;
};
