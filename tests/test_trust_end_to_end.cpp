// The trust layer as users meet it: the real Update.exe, started from a
// temporary installation whose settings pin the publisher's key, against
// nginx serving releases that the real publishing tool made - a good one,
// tampered variants, and the good one over HTTPS with a certificate from a
// test CA that this test puts into its own Wine prefix only.
//
// Run through tests/e2e/with_signed_releases.sh, which publishes the
// releases, starts nginx and tells this program where everything is.
#include <windows.h>
#include <wincrypt.h>
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/Assertions.h"
#include "tests/support/NginxSite.h"
#include "tests/support/SettingsText.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UpdaterProcess.h"
#include "tests/support/WindowDriver.h"
#include "ui/resource.h"

namespace {

const DWORD kWindowTimeout = 20000;
const DWORD kRunTimeout = 60000;
const char APP[] = "trust_app.exe";
const char LIB[] = "trust_lib.dll";
const char OLD_APP[] = "old app";
const char OLD_LIB[] = "old lib";

std::string Env(const char* pszName)
{
    const char* pszValue = std::getenv(pszName);
    return pszValue ? pszValue : "";
}

unsigned short EnvPort(const char* pszName) { return static_cast<unsigned short>(std::atoi(Env(pszName).c_str())); }

// A file of the published release (what a good update installs).
std::string Released(const char* pszName) { return ReadWholeFile(WindowsPathOf(Env("E2E_TRUST_DIR") + "/release/" + pszName)); }
// A file as nginx serves it.
std::string Served(const std::string& strUrlPath) { return ReadWholeFile(WindowsPathOf(Env("E2E_HTTP_ROOT") + strUrlPath)); }

// Where the installed settings point and what they pin.
struct Installation {
    std::string server;
    unsigned short nPort;
    std::string prefix;  // UpdateInfo
    std::string key;     // PublicKey
    bool bHttps;
};

// Both items at 1.0, served as trust_app.zip and trust_lib.zip.
std::string SettingsOf(const Installation& inst)
{
    return SettingsText({inst.server, inst.nPort, inst.prefix}, {{APP, "1.0"}, {LIB, "1.0"}}, ".zip",
                        "[Security]\nPublicKey=" + inst.key + "\nHttps=" + (inst.bHttps ? "1" : "0") + "\n");
}

}  // namespace

// One installation: a copy of Update.exe, its Update.ini and the two old
// files, and a temporary directory of the updater's own.
class TrustEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_site.Available() && !Env("E2E_PUBLIC_KEY").empty())
            << "run through tests/e2e/with_signed_releases.sh";
        const std::string updater = WindowsPathOf(std::string(TEST_BUILD_DIR) + "/Update.exe");
        ASSERT_TRUE(CopyFileA(updater.c_str(), (m_install / "Update.exe").c_str(), FALSE));
    }

    Installation Plain(const char* pszPrefix, const std::string& key = Env("E2E_PUBLIC_KEY")) const
    {
        return { "127.0.0.1", m_site.Port(), pszPrefix, key, false };
    }

    void Install(const Installation& inst)
    {
        m_strInstalledSettings = SettingsOf(inst);
        ASSERT_TRUE(WriteWholeFile(m_install / "Update.ini", m_strInstalledSettings));
        ASSERT_TRUE(WriteWholeFile(m_install / APP, OLD_APP));
        ASSERT_TRUE(WriteWholeFile(m_install / LIB, OLD_LIB));
    }

    // An unattended run; its exit code.
    DWORD RunUnattended()
    {
        CStartedProcess updater(m_install / "Update.exe", "true", m_temp.Path() + "\\");
        EXPECT_TRUE(updater.WaitForExit(kRunTimeout));
        return updater.ExitCode();
    }

    std::string Installed(const char* pszName) const { return ReadWholeFile(m_install / pszName); }
    std::string Record(const char* pszSection) const
    {
        char buffer[128] = "";
        GetPrivateProfileStringA(pszSection, "CurrentVersion", "<none>", buffer, sizeof buffer,
                                 (m_install / "Update.ini").c_str());
        return buffer;
    }
    void ExpectNothingInstalled()
    {
        EXPECT_EQ(OLD_APP, Installed(APP));
        EXPECT_EQ(OLD_LIB, Installed(LIB));
        EXPECT_EQ(m_strInstalledSettings, Installed("Update.ini"));
        EXPECT_FALSE(FileExists(m_install / (std::string(APP) + ".upg")));
        // No unverified copy of the server's settings is left behind.
        EXPECT_FALSE(FileExists(m_temp / "Update.ini"));
    }

    CNginxSite m_site;
    CTempDir m_install;
    CTempDir m_temp;
    std::string m_strInstalledSettings;
};

TEST_F(TrustEndToEnd, SignedReleaseInstalls)
{
    Install(Plain("/good"));
    EXPECT_EQ(0u, RunUnattended());
    EXPECT_TRUE(SameBytes(Released(APP), Installed(APP)));
    EXPECT_TRUE(SameBytes(Released(LIB), Installed(LIB)));
    EXPECT_EQ(Served("/good/Update.zip"), Installed("Update.ini"));
    EXPECT_EQ("2.0", Record(APP));
}

// A server copy that fails its signature check: nothing is installed and the
// unattended run ends with exit code 4.
TEST_F(TrustEndToEnd, CopyFailingItsSignatureInstallsNothing)
{
    struct Row { const char* name; const char* prefix; std::string key; };
    const Row rows[] = {
        { "tampered copy", "/badcopy", Env("E2E_PUBLIC_KEY") },
        { "tampered signature", "/badsig", Env("E2E_PUBLIC_KEY") },
        { "missing signature", "/nosig", Env("E2E_PUBLIC_KEY") },
        { "wrong key", "/good", Env("E2E_OTHER_PUBLIC_KEY") },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Install(Plain(row.prefix, row.key));
        EXPECT_EQ(4u, RunUnattended());
        ExpectNothingInstalled();
    }
}

// A file that does not match its digest, or has none under a key, is
// refused: the installed file and its record stay; the good file installs;
// the run counts as failed.
TEST_F(TrustEndToEnd, FileFailingItsDigestIsNotInstalled)
{
    for (const char* pszPrefix : {"/badfile", "/nodigest"}) {
        SCOPED_TRACE(pszPrefix);
        Install(Plain(pszPrefix));
        EXPECT_EQ(1u, RunUnattended());
        EXPECT_EQ(OLD_APP, Installed(APP));
        EXPECT_FALSE(FileExists(m_install / (std::string(APP) + ".upg")));
        EXPECT_EQ("1.0", Record(APP));
        EXPECT_TRUE(SameBytes(Released(LIB), Installed(LIB)));
    }
}

// What a person sees: the refused copy on the status line with the button
// disabled; the refused file in its list line.
TEST_F(TrustEndToEnd, InteractiveRefusalsAreShown)
{
    Install(Plain("/badcopy"));
    {
        CStartedProcess updater(m_install / "Update.exe", "", m_temp.Path() + "\\");
        HWND hDlg = WaitForWizard(updater, kWindowTimeout);
        ASSERT_NE(nullptr, hDlg);
        PressButton(hDlg, IDOK);
        EXPECT_EQ("签名校验失败！", DlgItemText(hDlg, IDC_STATUS));
        EXPECT_EQ("更新(&U)", DlgItemText(hDlg, IDOK));
        EXPECT_FALSE(DlgItemEnabled(hDlg, IDOK));
        EXPECT_EQ((std::vector<std::string>{std::string(APP) + " 1.0", std::string(LIB) + " 1.0"}),
                  ListBoxLines(GetDlgItem(hDlg, IDC_FILE_LIST)));
        PressButtonAsync(hDlg, IDCANCEL);
        ASSERT_TRUE(updater.WaitForExit(kRunTimeout));
    }
    ExpectNothingInstalled();

    Install(Plain("/badfile"));
    CStartedProcess updater(m_install / "Update.exe", "", m_temp.Path() + "\\");
    HWND hDlg = WaitForWizard(updater, kWindowTimeout);
    ASSERT_NE(nullptr, hDlg);
    PressButton(hDlg, IDOK);
    EXPECT_EQ("发现新的版本:", DlgItemText(hDlg, IDC_STATUS));
    PressButtonAsync(hDlg, IDOK);
    ASSERT_TRUE(WaitFor([&] { return DlgItemText(hDlg, IDOK) == "完成(&O)"; }, kRunTimeout));
    const std::vector<std::string> lines = ListBoxLines(GetDlgItem(hDlg, IDC_FILE_LIST));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::string(APP) + " 1.0-->2.0   /badfile/trust_app.zip校验失败！", lines[0]);
    PressButtonAsync(hDlg, IDOK);
    ASSERT_TRUE(updater.WaitForExit(kRunTimeout));
    EXPECT_EQ(OLD_APP, Installed(APP));
}

// HTTPS with the test CA in this prefix's Root store for the length of the
// suite (removed again afterwards; the machine's trust store is never
// touched). Wine keeps the system store "Root" apart from the registry and
// drops what is added to it; the registry provider's store is what its chain
// engine reads, and that store writes to the registry when it is closed.
class TrustOverHttps : public TrustEndToEnd {
protected:
    static HCERTSTORE OpenRoot()
    {
        return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, "Root");
    }
    static void SetUpTestSuite()
    {
        s_ca = ReadWholeFile(WindowsPathOf(Env("E2E_TRUST_DIR") + "/ca.der"));
        HCERTSTORE hRoot = OpenRoot();
        s_bAdded = hRoot && !s_ca.empty() &&
                   CertAddEncodedCertificateToStore(hRoot, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(s_ca.data()),
                                                    static_cast<DWORD>(s_ca.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                    nullptr);
        if (hRoot)
            CertCloseStore(hRoot, 0);
    }
    static void TearDownTestSuite()
    {
        if (!s_bAdded)
            return;
        PCCERT_CONTEXT pCa = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(s_ca.data()),
                                                          static_cast<DWORD>(s_ca.size()));
        HCERTSTORE hRoot = OpenRoot();
        if (hRoot && pCa) {
            PCCERT_CONTEXT pFound = CertFindCertificateInStore(hRoot, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, pCa, nullptr);
            if (pFound)
                CertDeleteCertificateFromStore(pFound);  // frees pFound
        }
        if (pCa)
            CertFreeCertificateContext(pCa);
        if (hRoot)
            CertCloseStore(hRoot, 0);
    }
    void SetUp() override
    {
        TrustEndToEnd::SetUp();
        ASSERT_TRUE(s_bAdded) << "the test CA could not be added to the Root store";
    }

    static std::string s_ca;
    static bool s_bAdded;
};
std::string TrustOverHttps::s_ca;
bool TrustOverHttps::s_bAdded = false;

TEST_F(TrustOverHttps, SignedReleaseInstallsOverHttps)
{
    Install({ "localhost", EnvPort("E2E_HTTPS_PORT"), "/tls", Env("E2E_PUBLIC_KEY"), true });
    EXPECT_EQ(0u, RunUnattended());
    EXPECT_TRUE(SameBytes(Released(APP), Installed(APP)));
    EXPECT_TRUE(SameBytes(Released(LIB), Installed(LIB)));
    EXPECT_EQ(Served("/tls/Update.zip"), Installed("Update.ini"));
}

// A certificate from a CA the prefix does not trust is a failure, never
// ignored: the server counts as out of reach.
TEST_F(TrustOverHttps, UntrustedCertificateIsRefused)
{
    Install({ "localhost", EnvPort("E2E_HTTPS_UNTRUSTED_PORT"), "/tls", Env("E2E_PUBLIC_KEY"), true });
    EXPECT_EQ(2u, RunUnattended());
    ExpectNothingInstalled();
}
