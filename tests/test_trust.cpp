// The trust layer against the loopback server: a pinned key makes the check
// compare only a server copy whose signature verifies, every download is
// held to the digest the copy gives, and without a [Security] section the
// check and the download behave as they always did. The signed fixtures were
// made by the real publishing tool.
#include <gtest/gtest.h>
#include "settings/SecuritySettings.h"
#include "tests/support/NetDialogHost.h"
#include "tests/support/NetFixture.h"
#include "tests/support/WindowDriver.h"

namespace {

// Made by tests/data/trust/make_fixtures.sh
const char PUBLIC_KEY[] = "ezUZ9Z/j1y3ilX99qBwOmJIUKUP6FIr8kOVX+/a8IGA9tEjbhY194u+wMf0KBL0dvO9T+XFWPJ+nYG9RTzIERw==";
const char OTHER_PUBLIC_KEY[] = "wS4kowT/luJQhE1duDL/T4LN0S5oBpbsCs1+OCaXE/AMqwvJZGgJgBX4rH0EJ5e5tiSPx38ZPxlB8m8I6X5NoQ==";
const char SIGNED_COPY[] =
    "[SystemInfo]\r\n"
    "Server=127.0.0.1\r\n"
    "Port=80\r\n"
    "FileList=app.exe\r\n"
    "[Update]\r\n"
    "UpdateInfo=/upd\r\n"
    "[Security]\r\n"
    "PublicKey=ezUZ9Z/j1y3ilX99qBwOmJIUKUP6FIr8kOVX+/a8IGA9tEjbhY194u+wMf0KBL0dvO9T+XFWPJ+nYG9RTzIERw==\r\n"
    "[app.exe]\r\n"
    "CurrentVersion=2.0\r\n"
    "ServerFileName=app.zip\r\n"
    "LocalFileName=app.exe\r\n"
    "Sha256=69dbee893909fa17d1be397e0c07691336fe42049c29d403467d3d4a1fc3b5a1\r\n";
const char SIGNATURE[] =
    "Vb6tOU+ilsoCK57upSo4h/ZKz3FnDbz7IN7ysk4wdexMrrnQadHVwpLBMQ1ilKg2lLpKcRjeMagC3rOrBqVKcQ==";
// The released app.exe the copy's Sha256 names.
const std::string RELEASED_APP = PatternBytes(5000);
const char APP_DIGEST[] = "69dbee893909fa17d1be397e0c07691336fe42049c29d403467d3d4a1fc3b5a1";

const char COPY_PATH[] = "/upd/Update.zip";
const char SIGNATURE_PATH[] = "/upd/Update.zip.sig";
const char APP_PATH[] = "/upd/app.zip";
const char ITEM[] = "[app.exe]\nCurrentVersion=1.0\nServerFileName=app.zip\nLocalFileName=app.exe\n";
const char OLD_APP[] = "old app";

const char STATUS_SIGNATURE_FAILED[] = "签名校验失败！";
const char STATUS_NEWER[] = "发现新的版本:";
const char STATUS_UP_TO_DATE[] = "您现在用的版本已是最新的！";
const std::string APP_REFUSED = std::string(APP_PATH) + "校验失败！";
const std::string APP_DONE = std::string(APP_PATH) + "完成更新!";

std::string SecuritySection(const char* pszKey) { return std::string("[Security]\nPublicKey=") + pszKey + "\n"; }

// The text with its first occurrence of "from" replaced by "to".
std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t pos = text.find(from);
    if (pos != std::string::npos)
        text.replace(pos, from.size(), to);
    return text;
}

struct CheckOutcome {
    BOOL bResult = TRUE;
    BOOL bSignatureFailed = FALSE;
    BOOL bUnreachable = FALSE;
    BOOL bNeedUpdate = TRUE;
    std::string serverVersion;
    std::string status;
    std::vector<std::string> lines;
    std::string caption;
    bool bEnabled = true;
};

struct FetchOutcome {
    BOOL bResult = FALSE;
    std::string result;
    std::string status;
};

// One installation with the item app.exe at 1.0: its Update.ini beside the
// test program (where the dialog reads it) and in the installation directory
// the downloads write to, which is the dialog's m_strAppDir in these tests.
class Trust : public NetFixture {
protected:
    void Install(const std::string& security, unsigned short nPort = 0)
    {
        WriteInstalledSettings("app.exe", ITEM + security, nPort);
        ASSERT_TRUE(CopyFileA((ExecutableDir() + "\\Update.ini").c_str(), (*m_installDir / "Update.ini").c_str(), FALSE));
        ASSERT_TRUE(WriteWholeFile(InstalledApp(), OLD_APP));
    }
    std::string InstalledApp() const { return *m_installDir / "app.exe"; }

    CheckOutcome Check()
    {
        CNetDialogHost host;
        CheckOutcome outcome;
        host.Run([&](CUpdateDlg& dlg) {
            dlg.m_strAppDir = m_installDir->Path().c_str();
            outcome.bResult = dlg.CheckVersions();
            outcome.bSignatureFailed = dlg.m_bSignatureFailed;
            outcome.bUnreachable = dlg.m_bServerUnreachable;
            outcome.bNeedUpdate = dlg.m_arrFiles[0].bNeedUpdate;
            outcome.serverVersion = dlg.m_arrFiles[0].strServerVersion.Str();
        });
        outcome.status = host.Status();
        outcome.lines = host.ListLines();
        outcome.caption = host.ButtonCaption();
        outcome.bEnabled = host.ButtonEnabled();
        return outcome;
    }

    // The download of app.exe as the update run asks for it, after the check
    // left the server copy in the temporary directory.
    FetchOutcome Fetch()
    {
        CNetDialogHost host;
        FetchOutcome outcome;
        host.Run([&](CUpdateDlg& dlg) {
            dlg.m_strAppDir = m_installDir->Path().c_str();
            CString strResult;
            outcome.bResult = dlg.FetchFile(dlg.m_strUpdateRoot + "/app.zip", "app.exe", strResult);
            outcome.result = strResult.Str();
        });
        outcome.status = host.Status();
        return outcome;
    }
};

}  // namespace

// Under a pinned key the copy is compared only when the served signature of
// its exact bytes verifies with that key. Every other case ends alike: the
// copy deleted, nothing newer, the button disabled, the failure flagged.
TEST_F(Trust, SignedCopyIsComparedOnlyWhenItsSignatureVerifies)
{
    struct Row {
        const char* name;
        std::string key;          // the installed PublicKey
        std::string copy;         // served at Update.zip
        HttpReply signature;      // served at Update.zip.sig
        bool bVerified;
    };
    const HttpReply goodSignature = HttpReply::Ok(SIGNATURE);
    HttpReply shortCopy = HttpReply::Ok(std::string(SIGNED_COPY).substr(0, 100));
    shortCopy.length = HttpReply::Length::Announced;
    shortCopy.announcedLength = sizeof SIGNED_COPY - 1;
    const std::string flipped = std::string(SIGNATURE).replace(10, 1, SIGNATURE[10] == 'A' ? "B" : "A");

    const Row rows[] = {
        { "good signature", PUBLIC_KEY, SIGNED_COPY, goodSignature, true },
        { "signature between blanks and line breaks", PUBLIC_KEY, SIGNED_COPY,
          HttpReply::Ok(std::string(" \r\n") + SIGNATURE + "\r\n"), true },
        { "tampered copy", PUBLIC_KEY, Replaced(SIGNED_COPY, "CurrentVersion=2.0", "CurrentVersion=2.1"), goodSignature, false },
        { "copy with a byte more", PUBLIC_KEY, std::string(SIGNED_COPY) + "\r\n", goodSignature, false },
        { "tampered signature", PUBLIC_KEY, SIGNED_COPY, HttpReply::Ok(flipped), false },
        { "missing signature (404)", PUBLIC_KEY, SIGNED_COPY, HttpReply::Status(404, "Not Found", "<html>404</html>"), false },
        { "signature not base64", PUBLIC_KEY, SIGNED_COPY, HttpReply::Ok("not a signature!"), false },
        { "signature of the wrong size", PUBLIC_KEY, SIGNED_COPY, HttpReply::Ok(std::string(SIGNATURE).substr(0, 84)), false },
        { "wrong key", OTHER_PUBLIC_KEY, SIGNED_COPY, goodSignature, false },
        { "malformed key", std::string(PUBLIC_KEY).substr(0, 84), SIGNED_COPY, goodSignature, false },
        { "key not base64", "not a key", SIGNED_COPY, goodSignature, false },
        { "empty key", "", SIGNED_COPY, goodSignature, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_server = std::make_unique<CLoopbackServer>();
        m_server->Serve(COPY_PATH, HttpReply::Ok(row.copy));
        m_server->Serve(SIGNATURE_PATH, row.signature);
        Install(SecuritySection(row.key.c_str()));
        DeleteFileA(VersionCopyPath().c_str());

        const CheckOutcome outcome = Check();

        EXPECT_FALSE(outcome.bUnreachable);
        EXPECT_EQ("更新(&U)", outcome.caption);
        if (row.bVerified) {
            EXPECT_TRUE(outcome.bResult);
            EXPECT_FALSE(outcome.bSignatureFailed);
            EXPECT_TRUE(outcome.bNeedUpdate);
            EXPECT_EQ(STATUS_NEWER, outcome.status);
            EXPECT_EQ(std::vector<std::string>{"app.exe 1.0-->2.0"}, outcome.lines);
            EXPECT_TRUE(outcome.bEnabled);
            EXPECT_EQ(row.copy, ReadWholeFile(VersionCopyPath()));
        } else {
            EXPECT_FALSE(outcome.bResult);
            EXPECT_TRUE(outcome.bSignatureFailed);
            EXPECT_FALSE(outcome.bNeedUpdate);
            EXPECT_EQ("1.0", outcome.serverVersion);
            EXPECT_EQ(STATUS_SIGNATURE_FAILED, outcome.status);
            EXPECT_EQ(std::vector<std::string>{"app.exe 1.0"}, outcome.lines);
            EXPECT_FALSE(outcome.bEnabled);
            EXPECT_FALSE(FileExists(VersionCopyPath()));
        }
    }
}

TEST_F(Trust, SignatureIsAskedForBesideTheCopy)
{
    m_server->Serve(COPY_PATH, HttpReply::Ok(SIGNED_COPY));
    m_server->Serve(SIGNATURE_PATH, HttpReply::Ok(SIGNATURE));
    Install(SecuritySection(PUBLIC_KEY));
    Check();
    const std::vector<HttpRequestSeen> requests = m_server->Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ("GET /upd/Update.zip HTTP/1.0", requests[0].requestLine);
    EXPECT_EQ("GET /upd/Update.zip.sig HTTP/1.0", requests[1].requestLine);
}

// A copy left by an earlier check has no signature to check it by: under a
// key, a server out of reach leaves nothing to compare.
TEST_F(Trust, EarlierCopyIsNotComparedUnderAKeyWhenTheServerIsOutOfReach)
{
    Install(SecuritySection(PUBLIC_KEY), ClosedLoopbackPort());
    ASSERT_TRUE(WriteWholeFile(VersionCopyPath(), SIGNED_COPY));

    const CheckOutcome outcome = Check();

    EXPECT_TRUE(outcome.bUnreachable);
    EXPECT_FALSE(outcome.bSignatureFailed);
    EXPECT_FALSE(outcome.bResult);
    EXPECT_FALSE(outcome.bNeedUpdate);
    EXPECT_EQ(STATUS_UP_TO_DATE, outcome.status);
    EXPECT_FALSE(FileExists(VersionCopyPath()));
}

// Without a [Security] section nothing changes: an unsigned copy is compared,
// no signature is asked for, and an earlier copy still counts when the
// server is out of reach.
TEST_F(Trust, WithoutSecuritySectionTheCheckIsUnchanged)
{
    const std::string unsigned_copy = Crlf("[app.exe]\nCurrentVersion=2.0\n");
    m_server->Serve(COPY_PATH, HttpReply::Ok(unsigned_copy));
    Install("");
    CheckOutcome outcome = Check();
    EXPECT_TRUE(outcome.bResult);
    EXPECT_FALSE(outcome.bSignatureFailed);
    EXPECT_EQ(STATUS_NEWER, outcome.status);
    EXPECT_EQ(1u, m_server->Requests().size());
    EXPECT_EQ(unsigned_copy, ReadWholeFile(VersionCopyPath()));

    Install("", ClosedLoopbackPort());
    outcome = Check();
    EXPECT_TRUE(outcome.bUnreachable);
    EXPECT_TRUE(outcome.bResult);
    EXPECT_EQ(STATUS_NEWER, outcome.status);
}

// Every download is held to the Sha256 the server copy gives for its item,
// computed as the staging file is written; under a key an item without one
// is refused before anything is requested. A refused file leaves the
// installed one untouched and no staging file.
TEST_F(Trust, DownloadIsHeldToTheDigestOfItsItem)
{
    struct Row {
        const char* name;
        bool bKey;
        const char* digest;  // the item's Sha256 in the server copy; nullptr: none
        std::string body;    // served as app.zip
        bool bInstalled;
    };
    std::string tampered = RELEASED_APP;
    tampered[4000] ^= 1;
    const std::string upperDigest = Replaced(APP_DIGEST, "dbee", "DBEE");
    const Row rows[] = {
        { "digest matches, key", true, APP_DIGEST, RELEASED_APP, true },
        { "digest in capitals", true, upperDigest.c_str(), RELEASED_APP, true },
        { "tampered body, key", true, APP_DIGEST, tampered, false },
        { "tampered body, no key", false, APP_DIGEST, tampered, false },
        { "malformed digest", false, "69dbee89", RELEASED_APP, false },
        { "no digest, key", true, nullptr, RELEASED_APP, false },
        { "no digest, no key", false, nullptr, RELEASED_APP, true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_server = std::make_unique<CLoopbackServer>();
        m_server->Serve(APP_PATH, HttpReply::Ok(row.body));
        Install(row.bKey ? SecuritySection(PUBLIC_KEY) : "");
        std::string copy = "[app.exe]\nCurrentVersion=2.0\nServerFileName=app.zip\n";
        if (row.digest)
            copy += std::string("Sha256=") + row.digest + "\n";
        ASSERT_TRUE(WriteWholeFile(VersionCopyPath(), Crlf(copy)));

        const FetchOutcome outcome = Fetch();

        EXPECT_EQ(row.bInstalled, outcome.bResult != FALSE);
        EXPECT_EQ(row.bInstalled ? APP_DONE : APP_REFUSED, outcome.result);
        EXPECT_EQ(outcome.result, outcome.status);
        EXPECT_EQ(row.bInstalled ? row.body : OLD_APP, ReadWholeFile(InstalledApp()));
        EXPECT_FALSE(FileExists(InstalledApp() + ".upg"));
        // Refused for want of a digest: not even requested.
        EXPECT_EQ(row.bKey && !row.digest ? 0u : 1u, m_server->Requests().size());
    }
}

// The whole road under a key: the signed copy verifies, and the file it
// names comes into place.
TEST_F(Trust, SignedReleaseInstalls)
{
    m_server->Serve(COPY_PATH, HttpReply::Ok(SIGNED_COPY));
    m_server->Serve(SIGNATURE_PATH, HttpReply::Ok(SIGNATURE));
    m_server->Serve(APP_PATH, HttpReply::Ok(RELEASED_APP));
    Install(SecuritySection(PUBLIC_KEY));

    EXPECT_TRUE(Check().bResult);
    const FetchOutcome outcome = Fetch();
    EXPECT_TRUE(outcome.bResult);
    EXPECT_EQ(APP_DONE, outcome.result);
    EXPECT_EQ(RELEASED_APP, ReadWholeFile(InstalledApp()));
}

// HTTPS: the secure flag on every request, and port 443 when the settings
// name no port (or port 0, the scheme's default to WinINet).
TEST(SecuritySettings, HttpsSetsTheSecureFlagAndTheDefaultPort)
{
    struct Row { const char* name; const char* settings; bool bSecure; INTERNET_PORT nPort; };
    const Row rows[] = {
        { "no section", "[SystemInfo]\nPort=8080\n", false, 8080 },
        { "no section, no port", "[SystemInfo]\nServer=x\n", false, 80 },
        { "Https=0", "[SystemInfo]\nPort=8080\n[Security]\nHttps=0\n", false, 8080 },
        { "Https=1 with a port", "[SystemInfo]\nPort=8443\n[Security]\nHttps=1\n", true, 8443 },
        { "Https=1 without a port", "[SystemInfo]\nServer=x\n[Security]\nHttps=1\n", true, 443 },
        { "Https=1, port 0", "[SystemInfo]\nPort=0\n[Security]\nHttps=1\n", true, 443 },
        { "Https=1, port 80 named", "[SystemInfo]\nPort=80\n[Security]\nHttps=1\n", true, 80 },
    };
    CTempDir dir;
    const std::string path = dir / "Update.ini";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(WriteWholeFile(path, Crlf(row.settings)));
        // As the dialog reads Port: "80" when absent.
        char szPort[128] = "";
        GetPrivateProfileStringA("SystemInfo", "Port", "80", szPort, sizeof szPort, path.c_str());
        const CSecuritySettings security(path.c_str());
        EXPECT_EQ(row.bSecure, (security.RequestFlags(0x20200010) & INTERNET_FLAG_SECURE) != 0);
        EXPECT_EQ(0x20200010u, security.RequestFlags(0x20200010) & ~INTERNET_FLAG_SECURE);
        EXPECT_EQ(row.nPort, security.Port(static_cast<INTERNET_PORT>(atoi(szPort))));
        EXPECT_FALSE(security.KeyPinned());
    }
}
