// SHA-256, strict base64 and ECDSA P-256 verification over Windows CNG
// (bcrypt), for checking what the server sends before it is installed.
#pragma once
#include <windows.h>
#include <bcrypt.h>
#include <vector>

#include "framework/String.h"

// An incremental SHA-256: Update with the pieces as they arrive, then Finish.
// A platform failure at any step is kept and reported by Finish, so that a
// caller hashing as it writes checks once at the end.
class CSha256 {
public:
    enum { DIGEST_SIZE = 32 };

    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Update(const void* pData, DWORD nLength);
    // Writes the digest of everything given so far; FALSE when the platform
    // failed. One digest per object: later Updates are ignored.
    BOOL Finish(BYTE digest[DIGEST_SIZE]);

    // Lowercase hex of any bytes (64 characters for a digest).
    static CString ToHex(const BYTE* pData, int nLength);

private:
    BCRYPT_ALG_HANDLE m_hAlg = nullptr;
    BCRYPT_HASH_HANDLE m_hHash = nullptr;
    BOOL m_bOk = FALSE;
};

// Decodes standard base64 (A-Z a-z 0-9 + /, "=" padding). Strict: the length
// must be a multiple of 4, "=" may only end the text, bits left over by the
// padding must be zero, and no blank or line break is accepted. FALSE (and an
// empty result) for anything else.
BOOL Base64Decode(LPCSTR pszText, std::vector<BYTE>& bytes);

// TRUE when sigRS (r then s, 32 bytes each) is a valid ECDSA P-256 signature
// of the SHA-256 digest under the public key pubXY (X then Y, 32 bytes each).
// A key that is not a point of the curve verifies nothing.
BOOL VerifyEcdsaP256(const BYTE pubXY[64], const BYTE digest[32], const BYTE sigRS[64]);
