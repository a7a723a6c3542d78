// SHA-256, base64 and ECDSA P-256 over OpenSSL, in the forms the updater
// reads: lowercase hex digests, the public key as the 64 bytes X then Y, the
// signature as the 64 bytes r then s over the SHA-256 of the data.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* pData, size_t nLength);
    Bytes Finish();  // 32 bytes; one digest per object

private:
    struct evp_md_ctx_st* m_ctx;
};

std::string ToHex(const Bytes& bytes);
std::string Base64Encode(const Bytes& bytes);
// Strict: only the 64 characters, length a multiple of 4, "=" only as padding
// at the end, unused bits zero. False for anything else.
bool Base64Decode(const std::string& text, Bytes& bytes);

// A P-256 key pair, or a public key alone.
class EcKey {
public:
    static EcKey Generate();
    static EcKey LoadPrivatePem(const std::string& path);        // throws on failure
    static EcKey FromPublicXY(const Bytes& xy);                   // throws unless a valid point
    // Writes the private key as PEM, readable by its owner only; never
    // replaces an existing file.
    void SavePrivatePem(const std::string& path) const;

    Bytes PublicXY() const;                        // 64 bytes
    Bytes Sign(const std::string& data) const;     // 64 bytes r||s
    bool Verify(const std::string& data, const Bytes& sig) const;

private:
    std::shared_ptr<struct evp_pkey_st> m_key;
};
