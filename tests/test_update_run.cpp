// The update run, the settings replacement and the unattended run, in the
// test's own process: the real dialog driven through its window, against the
// loopback HTTP server, with guardee processes as running programs.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "settings/LocalPath.h"
#include "tests/support/Assertions.h"
#include "tests/support/GuardeeProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ModalRun.h"
#include "tests/support/SettingsText.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowDriver.h"
#include "ui/UpdateDlg.h"

namespace {

const char QUESTION_SUFFIX[] = "已在运行！\n请先关闭程序才能进行更新！\n如果选择确定将强行关闭程序！";

std::string Profile(const std::string& path, const char* section, const char* key)
{
    char buffer[256] = "";
    GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof buffer, path.c_str());
    return buffer;
}

int RequestCount(const CLoopbackServer& server, const std::string& path)
{
    int n = 0;
    for (const HttpRequestSeen& r : server.Requests())
        n += r.path == path ? 1 : 0;
    return n;
}

// A body that arrives slowly: 2048 bytes every 100 ms.
HttpReply SlowReply(const std::string& body)
{
    HttpReply reply = HttpReply::Ok(body);
    reply.pieceSize = 2048;
    reply.pieceDelayMs = 100;
    return reply;
}

}  // namespace

// An installation directory with its Update.ini, a temporary directory as the
// process's TMP, the loopback server as the update server, and the dialog
// built on them. Unattended runs need an application whose main window the
// dialog is: its destruction ends the modal run.
class UpdateRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProcessTempDir(m_temp.Path() + "\\");
    }

    // Settings point at the loopback server under /upd, where each item's
    // file is "<stem>.zip" ("a.exe" -> /upd/a.zip).
    void Install(const std::vector<SettingsItem>& items, const std::vector<std::pair<std::string, std::string>>& files)
    {
        m_strInstalledSettings = SettingsText({"127.0.0.1", m_server.Port(), "/upd"}, items, ".zip");
        ASSERT_TRUE(WriteWholeFile(m_install / "Update.ini", m_strInstalledSettings));
        for (const auto& f : files)
            ASSERT_TRUE(WriteWholeFile(m_install / f.first, f.second));
    }

    void Publish(const std::vector<SettingsItem>& items)
    {
        m_strServedSettings = SettingsText({"127.0.0.1", m_server.Port(), "/upd"}, items, ".zip");
        m_server.Serve("/upd/Update.zip", HttpReply::Ok(m_strServedSettings));
    }

    std::unique_ptr<CUpdateDlg> NewDialog(bool bAutoMode)
    {
        auto pDlg = std::make_unique<CUpdateDlg>();
        pDlg->m_strAppDir = m_install.Path().c_str();
        pDlg->m_strServer = "127.0.0.1";
        pDlg->m_nPort = m_server.Port();
        pDlg->m_strUpdateRoot = "/upd";
        pDlg->m_strVersionPath = "/upd/Update.zip";
        pDlg->m_bAutoMode = bAutoMode;
        if (bAutoMode) {
            m_pApp = std::make_unique<CWinApp>();
            m_pApp->m_pMainWnd = pDlg.get();
        }
        return pDlg;
    }

    std::string InstalledFile(const std::string& name) { return ReadWholeFile(m_install / name); }
    std::string InstalledSettings() { return InstalledFile("Update.ini"); }
    std::string InstalledVersion(const char* section) { return Profile(m_install / "Update.ini", section, "CurrentVersion"); }

    CTempDir m_temp;
    CTempDir m_install;
    CLoopbackServer m_server;
    std::unique_ptr<CWinApp> m_pApp;
    std::string m_strInstalledSettings;
    std::string m_strServedSettings;
};

TEST_F(UpdateRun, InteractiveRunReplacesTheNewerFilesAndTheRecord)
{
    Install({{"a.exe", "1.0"}, {"b.exe", "2.5"}, {"c.exe", "1.0"}},
            {{"a.exe", "old a"}, {"b.exe", "old b"}, {"c.exe", "old c"}});
    Publish({{"a.exe", "1.1"}, {"b.exe", "2.5"}, {"c.exe", "1.10"}});
    const std::string newA = PatternBytes(5000), newC = "new c";
    m_server.Serve("/upd/a.zip", HttpReply::Ok(newA));
    m_server.Serve("/upd/c.zip", HttpReply::Ok(newC));

    auto pDlg = NewDialog(false);
    CModalRun run(*pDlg);
    HWND hDlg = run.Hwnd();
    PressButton(hDlg, IDOK);
    ASSERT_EQ("更新(&U)", DlgItemText(hDlg, IDOK));
    PressButton(hDlg, IDOK);

    // One line per marked item, in catalogue order; the unmarked b gets none.
    EXPECT_EQ((std::vector<std::string>{"a.exe 1.0-->1.1   /upd/a.zip完成更新!",
                                        "c.exe 1.0-->1.10   /upd/c.zip完成更新!"}),
              ListBoxLines(GetDlgItem(hDlg, IDC_FILE_LIST)));
    EXPECT_EQ("完成更新！", DlgItemText(hDlg, IDC_STATUS));
    EXPECT_EQ("完成(&O)", DlgItemText(hDlg, IDOK));
    EXPECT_TRUE(SameBytes(newA, InstalledFile("a.exe")));
    EXPECT_EQ("old b", InstalledFile("b.exe"));
    EXPECT_EQ(newC, InstalledFile("c.exe"));
    EXPECT_EQ(m_strServedSettings, InstalledSettings());
    EXPECT_EQ(0, RequestCount(m_server, "/upd/b.zip"));
    EXPECT_EQ((std::vector<std::string>{"Update.ini", "a.exe", "b.exe", "c.exe"}), DirectoryListing(m_install.Path()));
    EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty());

    PressButton(hDlg, IDOK);
    ASSERT_TRUE(run.WaitForEnd(5000));
    EXPECT_EQ(IDOK, run.Result());
}

// A download that fails does not stop the run, and its item keeps its
// installed version in the replaced record, so the next check offers it again.
TEST_F(UpdateRun, FailedDownloadKeepsItsInstalledVersionInTheRecord)
{
    Install({{"a.exe", "1.0"}, {"b.exe", "1.0"}}, {{"a.exe", "old a"}, {"b.exe", "old b"}});
    Publish({{"a.exe", "2.0"}, {"b.exe", "2.0"}});
    m_server.Serve("/upd/b.zip", HttpReply::Ok("new b"));  // a.zip: 404

    auto pDlg = NewDialog(false);
    CModalRun run(*pDlg);
    PressButton(run.Hwnd(), IDOK);
    PressButton(run.Hwnd(), IDOK);

    EXPECT_EQ((std::vector<std::string>{"a.exe 1.0-->2.0   /upd/a.zip不存在！",
                                        "b.exe 1.0-->2.0   /upd/b.zip完成更新!"}),
              ListBoxLines(GetDlgItem(run.Hwnd(), IDC_FILE_LIST)));
    EXPECT_EQ("完成更新！", DlgItemText(run.Hwnd(), IDC_STATUS));
    EXPECT_EQ("old a", InstalledFile("a.exe"));
    EXPECT_EQ("new b", InstalledFile("b.exe"));
    EXPECT_EQ("1.0", InstalledVersion("a.exe"));
    EXPECT_EQ("2.0", InstalledVersion("b.exe"));
    EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty());
}

// LocalFileName may name a file in a subdirectory, never one outside the
// installation directory: such an item is neither fetched nor recorded.
TEST_F(UpdateRun, NameOutsideTheInstallationIsRefused)
{
    ASSERT_TRUE(CreateDirectoryA((m_install / "sub").c_str(), nullptr));
    Install({{"out", "1.0", "..\\out.exe"}, {"in", "1.0", "sub\\in.exe"}}, {});
    Publish({{"out", "2.0", "..\\out.exe"}, {"in", "2.0", "sub\\in.exe"}});
    m_server.Serve("/upd/out.zip", HttpReply::Ok("escaped"));
    m_server.Serve("/upd/in.zip", HttpReply::Ok("inside"));

    auto pDlg = NewDialog(false);
    CModalRun run(*pDlg);
    PressButton(run.Hwnd(), IDOK);
    PressButton(run.Hwnd(), IDOK);

    EXPECT_EQ((std::vector<std::string>{"..\\out.exe 1.0-->2.0   ..\\out.exe文件名无效！",
                                        "sub\\in.exe 1.0-->2.0   /upd/in.zip完成更新!"}),
              ListBoxLines(GetDlgItem(run.Hwnd(), IDC_FILE_LIST)));
    EXPECT_EQ(0, RequestCount(m_server, "/upd/out.zip"));
    EXPECT_FALSE(FileExists(m_install.Path() + "\\..\\out.exe"));
    EXPECT_EQ("inside", InstalledFile("sub\\in.exe"));
    EXPECT_EQ("1.0", InstalledVersion("out"));
    EXPECT_EQ("2.0", InstalledVersion("in"));
}

TEST(LocalPath, OnlyNamesInsideTheInstallationDirectoryAreAccepted)
{
    const struct { const char* name; BOOL inside; } cases[] = {
        {"tool.exe", TRUE},
        {"bin\\tool.exe", TRUE},
        {"bin/tool.exe", TRUE},
        {"bin\\..\\tool.exe", TRUE},
        {".\\tool.exe", TRUE},
        {"工具\\说明.txt", TRUE},
        {"乗\\x.exe", TRUE},
        {"乗..", TRUE},               // the trail byte of 乗 is 0x5C: not a separator
        {"", FALSE},
        {".", FALSE},
        {"bin\\..", FALSE},
        {"..\\tool.exe", FALSE},
        {"bin\\..\\..\\tool.exe", FALSE},
        {"../tool.exe", FALSE},
        {"\\tool.exe", FALSE},
        {"/tool.exe", FALSE},
        {"C:\\tool.exe", FALSE},
        {"C:tool.exe", FALSE},
        {"\\\\server\\share\\tool.exe", FALSE},
        {"tool.exe:stream", FALSE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.inside, IsLocalNameInside("C:\\Program Files\\App", c.name)) << c.name;
}

// The installed settings are replaced in one step, and only by a settings
// file with a file list; the server copy goes either way and no temporary
// name stays behind.
TEST_F(UpdateRun, SettingsAreReplacedOnlyByASettingsFileWithAFileList)
{
    const std::string installed = Crlf("[SystemInfo]\nFileList=a.exe\n[a.exe]\nCurrentVersion=1.0\n");
    const std::string served = Crlf("[SystemInfo]\nFileList=a.exe\n[a.exe]\nCurrentVersion=2.0\n");
    const struct {
        const char* what;
        const char* copy;  // nullptr: no server copy
        bool lockInstalled;
        BOOL replaced;
    } cases[] = {
        {"settings file", served.c_str(), false, TRUE},
        {"no server copy", nullptr, false, FALSE},
        {"copy without a file list", "<html>502 Bad Gateway</html>", false, FALSE},
        {"empty file list", "[SystemInfo]\r\nFileList=\r\n", false, FALSE},
        {"installed copy in use", served.c_str(), true, FALSE},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteWholeFile(m_install / "Update.ini", installed));
        if (c.copy) {
            ASSERT_TRUE(WriteWholeFile(m_temp / "Update.ini", c.copy));
        }
        HANDLE hLock = c.lockInstalled ? CreateFileA((m_install / "Update.ini").c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE;
        CUpdateDlg dlg;
        dlg.m_strAppDir = m_install.Path().c_str();
        EXPECT_EQ(c.replaced, dlg.ReplaceSettingsFile(CUpdateFileArray())) << c.what;
        if (hLock != INVALID_HANDLE_VALUE)
            CloseHandle(hLock);
        EXPECT_EQ(c.replaced ? served : installed, InstalledSettings()) << c.what;
        EXPECT_EQ(std::vector<std::string>{"Update.ini"}, DirectoryListing(m_install.Path())) << c.what;
        EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty()) << c.what;
    }
}

// A server copy that is not a whole settings file (no file list) never
// replaces the installed settings; the run says so and counts as failed.
TEST_F(UpdateRun, ServerCopyWithoutAFileListIsNotInstalled)
{
    for (bool bAutoMode : {false, true}) {
        Install({{"a.exe", "1.0"}}, {{"a.exe", "old a"}});
        m_server.Serve("/upd/Update.zip", HttpReply::Ok(Crlf("[a.exe]\nCurrentVersion=2.0\n")));
        m_server.Serve("/upd/a.zip", HttpReply::Ok("new a"));

        auto pDlg = NewDialog(bAutoMode);
        {
            CModalRun run(*pDlg);
            if (!bAutoMode) {
                PressButton(run.Hwnd(), IDOK);
                PressButton(run.Hwnd(), IDOK);
                EXPECT_EQ("设置文件更新失败！", DlgItemText(run.Hwnd(), IDC_STATUS));
                EXPECT_EQ("完成(&O)", DlgItemText(run.Hwnd(), IDOK));
            }
            if (bAutoMode) {
                ASSERT_TRUE(run.WaitForEnd(20000));
            }
        }
        if (bAutoMode) {
            EXPECT_EQ(EXIT_FAILED, pDlg->m_nExitCode);
        }
        EXPECT_EQ("new a", InstalledFile("a.exe")) << bAutoMode;
        EXPECT_EQ(m_strInstalledSettings, InstalledSettings()) << bAutoMode;
        EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty()) << bAutoMode;
        pDlg.reset();
        m_pApp.reset();
    }
}

// Interactive run, interactive question: OK closes the program, Cancel leaves
// it running; the download is attempted either way.
TEST_F(UpdateRun, RunningProgramIsClosedOnlyWhenTheUserAgrees)
{
    for (int nAnswer : {IDOK, IDCANCEL}) {
        CGuardeeProcess program("urun_tool.exe", "a");
        ASSERT_TRUE(program.Started());
        Install({{"urun_tool.exe", "1.0"}}, {{"urun_tool.exe", "old"}});
        Publish({{"urun_tool.exe", "1.5"}});
        m_server.Serve("/upd/urun_tool.zip", HttpReply::Ok("new"));

        auto pDlg = NewDialog(false);
        CModalRun run(*pDlg);
        PressButton(run.Hwnd(), IDOK);
        PressButtonAsync(run.Hwnd(), IDOK);
        MessageBoxSeen box;
        ASSERT_TRUE(WaitForMessageBox(GetCurrentProcessId(), box, 10000)) << nAnswer;
        EXPECT_EQ(std::string("urun_tool.exe") + QUESTION_SUFFIX, box.strText);
        AnswerMessageBox(box, nAnswer);
        ASSERT_TRUE(WaitFor([&] { return DlgItemText(run.Hwnd(), IDOK) == "完成(&O)"; }, 15000)) << nAnswer;

        EXPECT_EQ(nAnswer == IDOK, program.WaitForExit(nAnswer == IDOK ? 10000 : 0)) << nAnswer;
        EXPECT_EQ("new", InstalledFile("urun_tool.exe")) << nAnswer;
        EXPECT_EQ((std::vector<std::string>{"urun_tool.exe 1.0-->1.5   /upd/urun_tool.zip完成更新!"}),
                  ListBoxLines(GetDlgItem(run.Hwnd(), IDC_FILE_LIST)));
    }
}

// While a step runs, presses of the wizard button are ignored: the download's
// message pump would otherwise start a second run inside the first.
TEST_F(UpdateRun, PressesDuringADownloadAreIgnored)
{
    Install({{"a.exe", "1.0"}}, {{"a.exe", "old"}});
    Publish({{"a.exe", "2.0"}});
    const std::string body = PatternBytes(20000);
    m_server.Serve("/upd/a.zip", SlowReply(body));

    auto pDlg = NewDialog(false);
    CModalRun run(*pDlg);
    PressButton(run.Hwnd(), IDOK);
    PressButtonAsync(run.Hwnd(), IDOK);
    ASSERT_TRUE(WaitFor([&] { return RequestCount(m_server, "/upd/a.zip") == 1; }, 10000));
    PressButtonAsync(run.Hwnd(), IDOK);
    PressButton(run.Hwnd(), IDOK);
    ASSERT_TRUE(WaitFor([&] { return DlgItemText(run.Hwnd(), IDOK) == "完成(&O)"; }, 15000));

    EXPECT_EQ(1, RequestCount(m_server, "/upd/a.zip"));
    EXPECT_EQ(1, RequestCount(m_server, "/upd/Update.zip"));
    EXPECT_TRUE(SameBytes(body, InstalledFile("a.exe")));
    EXPECT_FALSE(run.WaitForEnd(200));
}

// Cancel in the middle of a download hides the dialog at once; the download
// is abandoned (installed file untouched, no staging file), no later item is
// visited and the settings stay as they were.
TEST_F(UpdateRun, CancelDuringADownloadStopsTheRun)
{
    for (bool bAutoMode : {false, true}) {
        Install({{"a.exe", "1.0"}, {"b.exe", "1.0"}}, {{"a.exe", "old a"}, {"b.exe", "old b"}});
        Publish({{"a.exe", "2.0"}, {"b.exe", "2.0"}});
        m_server.Serve("/upd/a.zip", SlowReply(PatternBytes(40000)));
        m_server.Serve("/upd/b.zip", HttpReply::Ok("new b"));
        const int nRequestsBefore = RequestCount(m_server, "/upd/a.zip");

        auto pDlg = NewDialog(bAutoMode);
        CModalRun run(*pDlg);
        if (!bAutoMode) {
            PressButton(run.Hwnd(), IDOK);
            PressButtonAsync(run.Hwnd(), IDOK);
        }
        ASSERT_TRUE(WaitFor([&] { return RequestCount(m_server, "/upd/a.zip") > nRequestsBefore; }, 10000));
        Sleep(200);
        HWND hDlg = pDlg->m_hWnd;
        PressButton(hDlg, IDCANCEL);
        EXPECT_FALSE(IsWindowVisible(hDlg)) << bAutoMode;
        ASSERT_TRUE(run.WaitForEnd(10000)) << bAutoMode;

        EXPECT_TRUE(SameBytes("old a", InstalledFile("a.exe"))) << bAutoMode;
        EXPECT_TRUE(SameBytes("old b", InstalledFile("b.exe"))) << bAutoMode;
        EXPECT_FALSE(FileExists(m_install / "a.exe.upg")) << bAutoMode;
        EXPECT_EQ(0, RequestCount(m_server, "/upd/b.zip")) << bAutoMode;
        EXPECT_EQ(m_strInstalledSettings, InstalledSettings()) << bAutoMode;
        if (bAutoMode) {
            EXPECT_EQ(EXIT_FAILED, pDlg->m_nExitCode);
        } else {
            EXPECT_EQ(IDCANCEL, run.Result());
        }
        pDlg.reset();
        m_pApp.reset();
    }
}

// The unattended run closes the dialog by itself whatever happens, and its
// outcome becomes the program's exit code. A check that fails after its
// request was sent is a failure, not "nothing newer", and installs nothing.
TEST_F(UpdateRun, UnattendedRunClosesTheDialogWithItsOutcome)
{
    HttpReply broken = HttpReply::Ok(PatternBytes(10000));
    broken.fault = HttpReply::Fault::ResetMidBody;
    broken.faultAfter = 4000;
    enum class Copy {
        Whole,      // the server's copy arrives whole
        CutShort,   // its body ends before its announced length
        NoTempDir,  // the temporary directory does not exist: no copy can be made
    };
    const struct {
        const char* what;
        const char* served;      // server version of a.exe; nullptr: no server at all
        Copy copy;
        bool servesFile;
        const HttpReply* reply;  // a.zip's reply when servesFile
        int exitCode;
        const char* installedA;  // a.exe afterwards
        const char* recordA;     // its recorded version afterwards
    } cases[] = {
        {"nothing newer", "1.0", Copy::Whole, false, nullptr, EXIT_DONE, "old a", "1.0"},
        {"newer file", "2.0", Copy::Whole, true, nullptr, EXIT_DONE, "new a", "2.0"},
        {"file missing on the server", "2.0", Copy::Whole, false, nullptr, EXIT_FAILED, "old a", "1.0"},
        {"connection reset in the body", "2.0", Copy::Whole, true, &broken, EXIT_FAILED, "old a", "1.0"},
        {"server unreachable", nullptr, Copy::Whole, false, nullptr, EXIT_UNREACHABLE, "old a", "1.0"},
        {"server copy cut short", "2.0", Copy::CutShort, true, nullptr, EXIT_FAILED, "old a", "1.0"},
        {"temporary copy cannot be created", "2.0", Copy::NoTempDir, true, nullptr, EXIT_FAILED, "old a", "1.0"},
    };
    for (const auto& c : cases) {
        Install({{"a.exe", "1.0"}}, {{"a.exe", "old a"}});
        Publish({{"a.exe", c.served ? c.served : "1.0"}});
        if (c.copy == Copy::CutShort) {
            HttpReply cut = HttpReply::Ok(m_strServedSettings);
            cut.length = HttpReply::Length::Announced;
            cut.announcedLength = m_strServedSettings.size() + 100;
            m_server.Serve("/upd/Update.zip", cut);
        }
        m_server.Serve("/upd/a.zip", c.reply ? *c.reply : c.servesFile ? HttpReply::Ok("new a")
                                                                       : HttpReply::Status(404, "Not Found", ""));

        auto pDlg = NewDialog(true);
        if (!c.served)
            pDlg->m_nPort = CLoopbackServer(1).Port();  // a port where nobody listens any more
        if (c.copy == Copy::NoTempDir)
            pDlg->m_strTempDir = (m_temp / "missing\\").c_str();
        {
            CModalRun run(*pDlg);
            ASSERT_TRUE(run.WaitForEnd(20000)) << c.what;
        }
        EXPECT_EQ(c.exitCode, pDlg->m_nExitCode) << c.what;
        EXPECT_EQ(c.installedA, InstalledFile("a.exe")) << c.what;
        EXPECT_EQ(c.recordA, InstalledVersion("a.exe")) << c.what;
        EXPECT_FALSE(FileExists(m_install / "a.exe.upg")) << c.what;
        if (c.reply == &broken) {
            // The error escaped the download; its text replaced the download's status.
            const std::string status(pDlg->m_strStatus);
            EXPECT_FALSE(status.empty());
            EXPECT_NE("正在下载文件：/upd/a.zip", status);
        }
        pDlg.reset();
        m_pApp.reset();
        DeleteFileA((m_temp / "Update.ini").c_str());
    }
}

// A program whose window refuses to close stops the unattended run at its
// item: earlier items keep their new files, later ones are not visited, and
// the settings keep the old versions.
TEST_F(UpdateRun, UnattendedRunStopsAtAProgramThatRefusesToClose)
{
    CGuardeeProcess program("urun_refuse.exe", "r");
    ASSERT_TRUE(program.Started());
    Install({{"a.exe", "1.0"}, {"urun_refuse.exe", "1.0"}, {"c.exe", "1.0"}},
            {{"a.exe", "old a"}, {"urun_refuse.exe", "old r"}, {"c.exe", "old c"}});
    Publish({{"a.exe", "2.0"}, {"urun_refuse.exe", "2.0"}, {"c.exe", "2.0"}});
    m_server.Serve("/upd/a.zip", HttpReply::Ok("new a"));
    m_server.Serve("/upd/urun_refuse.zip", HttpReply::Ok("new r"));
    m_server.Serve("/upd/c.zip", HttpReply::Ok("new c"));

    auto pDlg = NewDialog(true);
    {
        CModalRun run(*pDlg);
        ASSERT_TRUE(run.WaitForEnd(20000));
    }
    EXPECT_EQ(EXIT_FAILED, pDlg->m_nExitCode);
    EXPECT_TRUE(program.IsRunning());
    EXPECT_EQ("new a", InstalledFile("a.exe"));
    EXPECT_EQ("old r", InstalledFile("urun_refuse.exe"));
    EXPECT_EQ("old c", InstalledFile("c.exe"));
    EXPECT_EQ(0, RequestCount(m_server, "/upd/c.zip"));
    EXPECT_EQ(m_strInstalledSettings, InstalledSettings());
}
