// The framework's CNG crypto: SHA-256 against known digests, strict base64,
// and ECDSA P-256 verification of what the publishing tool signs.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "framework/Afx.h"
#include "framework/Crypto.h"

namespace {

// Made once with the publishing tool: "zpublish keygen" twice (keys A and B),
// then "zpublish build" of a release holding Client.exe = "client v1\n" with
// key A. kCopy is the Update.zip it wrote, kSignature its Update.zip.sig.
const char kPublicKeyA[] = "s8U57nGGgu2wx8ONTEr/ku7hOcNdp+2dFXpzldlW+5uenSW1DINAmk4FckD+DM8j6e9TgW/RshikksB35g1wWA==";
const char kPublicKeyB[] = "bkUznPJHzfX6tbGz5fWQcAy0xOgEdrDOgLOIPKdyzOpZfXMbxQTXC5cw3FTXSxFbGCmBDwHmIc9hM/Vh/cj29w==";
const char kCopy[] =
    "[SystemInfo]\r\nServer=localhost\r\nFileList=Client.exe\r\n\r\n"
    "[Update]\r\nUpdateInfo=/soft\r\n\r\n"
    "[Client.exe]\r\nCurrentVersion=1.1\r\n"
    "Sha256=305103c7fb6f3b9194223d352e7c6ae0520224faada0e927bcda9e48240cfa94\r\n";
const char kSignature[] = "ErxEro/ga7w7JXr4u64oAn3abSoA5rzFqSplfjs0AqEryYpxtdt6yh77PSkSJ/hNpohsGoy1PV4ag+7Jh5tkEQ==";
const char kClientBody[] = "client v1\n";
const char kClientSha256[] = "305103c7fb6f3b9194223d352e7c6ae0520224faada0e927bcda9e48240cfa94";

CString Sha256Hex(const std::string& data, size_t nPiece)
{
    CSha256 sha;
    for (size_t i = 0; i < data.size(); i += nPiece)
        sha.Update(data.data() + i, static_cast<DWORD>(std::min(nPiece, data.size() - i)));
    BYTE digest[CSha256::DIGEST_SIZE];
    EXPECT_TRUE(sha.Finish(digest));
    return CSha256::ToHex(digest, sizeof digest);
}

std::vector<BYTE> Decoded(LPCSTR pszBase64)
{
    std::vector<BYTE> bytes;
    EXPECT_TRUE(Base64Decode(pszBase64, bytes)) << pszBase64;
    return bytes;
}

std::vector<BYTE> Digest(const std::string& data)
{
    CSha256 sha;
    sha.Update(data.data(), static_cast<DWORD>(data.size()));
    std::vector<BYTE> digest(CSha256::DIGEST_SIZE);
    EXPECT_TRUE(sha.Finish(digest.data()));
    return digest;
}

}  // namespace

TEST(Sha256, KnownDigestsWhateverThePieces)
{
    const std::string kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    struct Case { std::string data; const char* hex; };
    const Case cases[] = {
        { "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855" },
        { "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad" },
        { kTwoBlocks, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1" },
        { std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0" },
        { kClientBody, kClientSha256 },  // as the publishing tool wrote it into kCopy
    };
    // One piece, single bytes, and piece sizes that straddle the 64-byte blocks.
    const size_t pieces[] = { 1u << 30, 1, 7, 63, 65, 2048 };
    for (const Case& c : cases)
        for (size_t nPiece : pieces) {
            if (nPiece == 1 && c.data.size() > 10000)
                continue;
            EXPECT_STREQ(c.hex, Sha256Hex(c.data, nPiece)) << c.data.size() << " bytes in pieces of " << nPiece;
        }
}

TEST(Sha256, EmptyUpdatesChangeNothingAndFinishIsFinal)
{
    CSha256 sha;
    sha.Update("ab", 2);
    sha.Update("", 0);
    sha.Update("c", 1);
    BYTE digest[CSha256::DIGEST_SIZE];
    ASSERT_TRUE(sha.Finish(digest));
    EXPECT_STREQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                 CSha256::ToHex(digest, sizeof digest));
    EXPECT_FALSE(sha.Finish(digest));  // a second digest is refused, not made up
}

TEST(Base64, DecodesCanonicalTextOnly)
{
    struct Case { const char* text; bool ok; const char* bytes; };
    const Case cases[] = {
        { "", true, "" },
        { "QQ==", true, "A" },
        { "QUI=", true, "AB" },
        { "QUJD", true, "ABC" },
        { "QUJDRA==", true, "ABCD" },
        { "+/+/", true, "\xfb\xff\xbf" },
        { "QQ", false, nullptr },          // length not a multiple of 4
        { "QQ=", false, nullptr },
        { "QUJDR", false, nullptr },
        { "QR==", false, nullptr },        // padding leaves set bits over
        { "QUJ=", false, nullptr },
        { "Q===", false, nullptr },        // three "=" cannot end a group
        { "QQ==QUJD", false, nullptr },    // "=" before the end
        { "QU=D", false, nullptr },
        { "QUJD\r\n", false, nullptr },    // no line breaks or blanks
        { " QUJ", false, nullptr },
        { "QU-D", false, nullptr },        // the URL alphabet is not accepted
        { "QU_D", false, nullptr },
        { "\xb0\xa1QQ", false, nullptr },  // GBK bytes
    };
    for (const Case& c : cases) {
        std::vector<BYTE> bytes(3, 0xEE);
        EXPECT_EQ(c.ok, Base64Decode(c.text, bytes) != FALSE) << '"' << c.text << '"';
        if (c.ok)
            EXPECT_EQ(std::string(c.bytes), std::string(bytes.begin(), bytes.end())) << c.text;
        else
            EXPECT_TRUE(bytes.empty()) << c.text;
    }
}

// The signature check as the version check will use it: key and signature from
// base64, the digest of the exact bytes of the settings copy.
struct EcdsaP256 : ::testing::Test {
    std::vector<BYTE> m_key = Decoded(kPublicKeyA);
    std::vector<BYTE> m_digest = Digest(kCopy);
    std::vector<BYTE> m_sig = Decoded(kSignature);

    BOOL Verify() const
    {
        EXPECT_EQ(64u, m_key.size());
        EXPECT_EQ(64u, m_sig.size());
        return VerifyEcdsaP256(m_key.data(), m_digest.data(), m_sig.data());
    }
};

TEST_F(EcdsaP256, SignatureOfThePublishingToolVerifies)
{
    EXPECT_TRUE(Verify());
}

TEST_F(EcdsaP256, AnyChangedByteFails)
{
    struct Case { const char* what; std::vector<BYTE> EcdsaP256::*field; size_t index; };
    const Case cases[] = {
        { "digest, first byte", &EcdsaP256::m_digest, 0 },
        { "digest, last byte", &EcdsaP256::m_digest, 31 },
        { "signature r", &EcdsaP256::m_sig, 0 },
        { "signature s", &EcdsaP256::m_sig, 63 },
        { "key X", &EcdsaP256::m_key, 5 },
        { "key Y", &EcdsaP256::m_key, 40 },
    };
    for (const Case& c : cases) {
        std::vector<BYTE>& bytes = this->*c.field;
        bytes[c.index] ^= 0x01;
        EXPECT_FALSE(Verify()) << c.what;
        bytes[c.index] ^= 0x01;
    }
    EXPECT_TRUE(Verify());  // restored: the failures came from the flips alone
}

TEST_F(EcdsaP256, ChangedDataWrongKeyOrEmptySignatureFail)
{
    std::string changed = kCopy;
    changed.replace(changed.find("1.1"), 3, "9.9");
    m_digest = Digest(changed);
    EXPECT_FALSE(Verify()) << "changed settings copy";

    m_digest = Digest(kCopy);
    m_key = Decoded(kPublicKeyB);
    EXPECT_FALSE(Verify()) << "another publisher's key";

    m_key = Decoded(kPublicKeyA);
    m_sig.assign(64, 0);
    EXPECT_FALSE(Verify()) << "r = s = 0";

    m_sig = Decoded(kSignature);
    m_key.assign(64, 0);
    EXPECT_FALSE(Verify()) << "a key that is not a point of the curve";
}
