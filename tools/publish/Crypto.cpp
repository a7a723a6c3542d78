#include "Crypto.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

const size_t kCoord = 32;  // bytes of one P-256 coordinate, of r and of s

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using SigPtr = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what);
}

bool IsP256(EVP_PKEY* pkey)
{
    char name[64] = "";
    return EVP_PKEY_is_a(pkey, "EC")
        && EVP_PKEY_get_utf8_string_param(pkey, OSSL_PKEY_PARAM_GROUP_NAME, name, sizeof name, nullptr)
        && (strcmp(name, "prime256v1") == 0 || strcmp(name, "P-256") == 0);
}

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c)
{
    const char* p = c ? strchr(kAlphabet, c) : nullptr;
    return p ? static_cast<int>(p - kAlphabet) : -1;
}

}  // namespace

Sha256::Sha256() : m_ctx(EVP_MD_CTX_new())
{
    if (!m_ctx || !EVP_DigestInit_ex(m_ctx, EVP_sha256(), nullptr))
        Fail("SHA-256 is not available");
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_ctx);
}

void Sha256::Update(const void* pData, size_t nLength)
{
    if (!EVP_DigestUpdate(m_ctx, pData, nLength))
        Fail("SHA-256 failed");
}

Bytes Sha256::Finish()
{
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    if (!EVP_DigestFinal_ex(m_ctx, digest.data(), &n))
        Fail("SHA-256 failed");
    digest.resize(n);
    return digest;
}

std::string ToHex(const Bytes& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::string Base64Encode(const Bytes& bytes)
{
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]), bytes.data(),
                            static_cast<int>(bytes.size()));
    text.resize(n);
    return text;
}

bool Base64Decode(const std::string& text, Bytes& bytes)
{
    bytes.clear();
    if (text.size() % 4 != 0)
        return false;
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool bLast = i + 4 == text.size();
        int nPad = 0;
        if (bLast)
            nPad = (text[i + 3] == '=') + (text[i + 3] == '=' && text[i + 2] == '=');
        unsigned long group = 0;
        for (int j = 0; j < 4; ++j) {
            int v = j < 4 - nPad ? Base64Value(text[i + j]) : 0;
            if (v < 0)
                return false;
            group = (group << 6) | static_cast<unsigned long>(v);
        }
        // The bits that padding leaves over must be zero: one text per byte string.
        if ((nPad == 1 && (group & 0xFF)) || (nPad == 2 && (group & 0xFFFF)))
            return false;
        bytes.push_back(static_cast<unsigned char>(group >> 16));
        if (nPad < 2)
            bytes.push_back(static_cast<unsigned char>(group >> 8));
        if (nPad < 1)
            bytes.push_back(static_cast<unsigned char>(group));
    }
    return true;
}

EcKey EcKey::Generate()
{
    EcKey key;
    key.m_key.reset(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key.m_key)
        Fail("could not generate a P-256 key");
    return key;
}

EcKey EcKey::LoadPrivatePem(const std::string& path)
{
    FILE* fp = fopen(path.c_str(), "rb");
    if (!fp)
        Fail("cannot open key file " + path + ": " + strerror(errno));
    EcKey key;
    key.m_key.reset(PEM_read_PrivateKey(fp, nullptr, nullptr, nullptr), EVP_PKEY_free);
    fclose(fp);
    if (!key.m_key)
        Fail("key file " + path + " holds no private key in PEM form");
    if (!IsP256(key.m_key.get()))
        Fail("key file " + path + " does not hold a P-256 (prime256v1) EC key");
    return key;
}

EcKey EcKey::FromPublicXY(const Bytes& xy)
{
    if (xy.size() != 2 * kCoord)
        Fail("a public key is 64 bytes (X then Y), this one is " + std::to_string(xy.size()));
    Bytes point(1, 0x04);  // uncompressed point
    point.insert(point.end(), xy.begin(), xy.end());
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()),
        OSSL_PARAM_construct_end(),
    };
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* pkey = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0
        || EVP_PKEY_fromdata(ctx.get(), &pkey, EVP_PKEY_PUBLIC_KEY, params) <= 0)
        Fail("the public key is not a point of the P-256 curve");
    EcKey key;
    key.m_key.reset(pkey, EVP_PKEY_free);
    PkeyCtxPtr check(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr));
    if (!check || EVP_PKEY_public_check(check.get()) <= 0)
        Fail("the public key is not a point of the P-256 curve");
    return key;
}

void EcKey::SavePrivatePem(const std::string& path) const
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        Fail("cannot create key file " + path + ": " + strerror(errno)
             + (errno == EEXIST ? " (an existing key is never replaced)" : ""));
    FILE* fp = fdopen(fd, "wb");
    bool bOk = fp && PEM_write_PrivateKey(fp, m_key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    bOk = fp && fflush(fp) == 0 && fsync(fileno(fp)) == 0 && bOk;
    if (fp ? fclose(fp) != 0 : close(fd) != 0)
        bOk = false;
    if (!bOk) {
        unlink(path.c_str());
        Fail("could not write key file " + path);
    }
}

Bytes EcKey::PublicXY() const
{
    unsigned char point[1 + 2 * kCoord];
    size_t n = 0;
    if (!EVP_PKEY_get_octet_string_param(m_key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &n)
        || n != sizeof point || point[0] != 0x04)
        Fail("could not read the public key");
    return Bytes(point + 1, point + n);
}

Bytes EcKey::Sign(const std::string& data) const
{
    MdCtxPtr ctx(EVP_MD_CTX_new());
    size_t nDer = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, m_key.get()) <= 0
        || EVP_DigestSign(ctx.get(), nullptr, &nDer, reinterpret_cast<const unsigned char*>(data.data()),
                          data.size()) <= 0)
        Fail("signing failed");
    Bytes der(nDer);
    if (EVP_DigestSign(ctx.get(), der.data(), &nDer, reinterpret_cast<const unsigned char*>(data.data()),
                       data.size()) <= 0)
        Fail("signing failed");
    // OpenSSL gives DER; the updater's platform wants r and s as two fixed-size numbers.
    const unsigned char* p = der.data();
    SigPtr sig(d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(nDer)));
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    if (sig)
        ECDSA_SIG_get0(sig.get(), &r, &s);
    Bytes raw(2 * kCoord);
    if (!sig || BN_bn2binpad(r, raw.data(), kCoord) < 0 || BN_bn2binpad(s, raw.data() + kCoord, kCoord) < 0)
        Fail("signing failed");
    return raw;
}

bool EcKey::Verify(const std::string& data, const Bytes& raw) const
{
    if (raw.size() != 2 * kCoord)
        return false;
    SigPtr sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(raw.data(), kCoord, nullptr);
    BIGNUM* s = BN_bin2bn(raw.data() + kCoord, kCoord, nullptr);
    if (!sig || !r || !s || !ECDSA_SIG_set0(sig.get(), r, s)) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    int nDer = i2d_ECDSA_SIG(sig.get(), &der);
    MdCtxPtr ctx(EVP_MD_CTX_new());
    bool bValid = nDer > 0 && ctx
        && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, m_key.get()) > 0
        && EVP_DigestVerify(ctx.get(), der, nDer, reinterpret_cast<const unsigned char*>(data.data()),
                            data.size()) == 1;
    OPENSSL_free(der);
    return bValid;
}
