#include "framework/Crypto.h"

#include <cstring>

namespace {

const ULONG kCoordSize = 32;  // one P-256 coordinate; also the size of r and of s

// An algorithm provider closed on every path.
class CAlgorithm {
public:
    explicit CAlgorithm(LPCWSTR pszAlgId)
    {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&m_h, pszAlgId, nullptr, 0)))
            m_h = nullptr;
    }
    ~CAlgorithm() { if (m_h) BCryptCloseAlgorithmProvider(m_h, 0); }
    CAlgorithm(const CAlgorithm&) = delete;
    CAlgorithm& operator=(const CAlgorithm&) = delete;
    operator BCRYPT_ALG_HANDLE() const { return m_h; }

private:
    BCRYPT_ALG_HANDLE m_h = nullptr;
};

// An imported key destroyed on every path.
class CKey {
public:
    CKey() = default;
    ~CKey() { if (m_h) BCryptDestroyKey(m_h); }
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    BCRYPT_KEY_HANDLE* Receive() { return &m_h; }
    operator BCRYPT_KEY_HANDLE() const { return m_h; }

private:
    BCRYPT_KEY_HANDLE m_h = nullptr;
};

int Base64Value(char ch)
{
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+') return 62;
    if (ch == '/') return 63;
    return -1;
}

}  // namespace

CSha256::CSha256()
{
    // The hash object's memory is left to the provider (Windows 7 and later).
    m_bOk = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&m_hAlg, BCRYPT_SHA256_ALGORITHM, nullptr, 0))
        && BCRYPT_SUCCESS(BCryptCreateHash(m_hAlg, &m_hHash, nullptr, 0, nullptr, 0, 0));
}

CSha256::~CSha256()
{
    if (m_hHash)
        BCryptDestroyHash(m_hHash);
    if (m_hAlg)
        BCryptCloseAlgorithmProvider(m_hAlg, 0);
}

void CSha256::Update(const void* pData, DWORD nLength)
{
    if (m_bOk && nLength > 0)
        m_bOk = BCRYPT_SUCCESS(BCryptHashData(m_hHash, static_cast<PUCHAR>(const_cast<void*>(pData)), nLength, 0));
}

BOOL CSha256::Finish(BYTE digest[DIGEST_SIZE])
{
    BOOL bOk = m_bOk && BCRYPT_SUCCESS(BCryptFinishHash(m_hHash, digest, DIGEST_SIZE, 0));
    m_bOk = FALSE;  // a finished hash takes no more data
    if (!bOk)
        memset(digest, 0, DIGEST_SIZE);
    return bOk;
}

CString CSha256::ToHex(const BYTE* pData, int nLength)
{
    static const char kDigits[] = "0123456789abcdef";
    CString strHex;
    for (int i = 0; i < nLength; ++i) {
        strHex += kDigits[pData[i] >> 4];
        strHex += kDigits[pData[i] & 15];
    }
    return strHex;
}

BOOL Base64Decode(LPCSTR pszText, std::vector<BYTE>& bytes)
{
    bytes.clear();
    const size_t nLength = pszText ? strlen(pszText) : 0;
    if (nLength % 4 != 0)
        return FALSE;
    for (size_t i = 0; i < nLength; i += 4) {
        const char* p = pszText + i;
        int nPad = 0;
        if (i + 4 == nLength)
            nPad = p[3] == '=' ? (p[2] == '=' ? 2 : 1) : 0;
        DWORD dwGroup = 0;
        for (int j = 0; j < 4; ++j) {
            int nValue = j < 4 - nPad ? Base64Value(p[j]) : 0;
            if (nValue < 0) {
                bytes.clear();
                return FALSE;
            }
            dwGroup = (dwGroup << 6) | static_cast<DWORD>(nValue);
        }
        // Bits the padding leaves over must be zero: one text per byte string.
        if ((nPad == 1 && (dwGroup & 0xFF)) || (nPad == 2 && (dwGroup & 0xFFFF))) {
            bytes.clear();
            return FALSE;
        }
        bytes.push_back(static_cast<BYTE>(dwGroup >> 16));
        if (nPad < 2)
            bytes.push_back(static_cast<BYTE>(dwGroup >> 8));
        if (nPad < 1)
            bytes.push_back(static_cast<BYTE>(dwGroup));
    }
    return TRUE;
}

BOOL VerifyEcdsaP256(const BYTE pubXY[64], const BYTE digest[32], const BYTE sigRS[64])
{
    CAlgorithm alg(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!alg)
        return FALSE;

    // Public key blob: the header, then X and Y.
    BYTE blob[sizeof(BCRYPT_ECCKEY_BLOB) + 2 * kCoordSize];
    BCRYPT_ECCKEY_BLOB header = { BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordSize };
    memcpy(blob, &header, sizeof header);
    memcpy(blob + sizeof header, pubXY, 2 * kCoordSize);
    CKey key;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(alg, nullptr, BCRYPT_ECCPUBLIC_BLOB, key.Receive(), blob, sizeof blob, 0)))
        return FALSE;

    // The platform takes the signature as r then s, not DER.
    return BCRYPT_SUCCESS(BCryptVerifySignature(key, nullptr, const_cast<PUCHAR>(digest), 32,
                                                const_cast<PUCHAR>(sigRS), 2 * kCoordSize, 0));
}
