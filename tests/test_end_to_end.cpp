// The whole program as its users meet it: the real Update.exe started as its
// own process from a temporary installation directory, with a temporary
// directory of its own, against nginx on loopback; its window driven the way
// a person would (list lines, status line, button, message boxes).
//
// Run through tests/e2e/with_nginx.sh, which starts nginx and tells this
// program its port and document root.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Assertions.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/NginxSite.h"
#include "tests/support/SettingsText.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UpdaterProcess.h"
#include "tests/support/WindowDriver.h"
#include "ui/resource.h"

namespace {

const DWORD kWindowTimeout = 20000;
const DWORD kRunTimeout = 30000;
const char QUESTION_SUFFIX[] = "已在运行！\n请先关闭程序才能进行更新！\n如果选择确定将强行关闭程序！";

std::atomic<unsigned> g_nextCase{0};

// Released files go to nginx under "<stem>.bin" ("a.exe" -> "a.bin").
const char SERVER_EXTENSION[] = ".bin";

std::string ServerName(const std::string& section) { return ServerFileName(section, SERVER_EXTENSION); }

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

std::string BuildFile(const char* pszName)
{
    return WindowsPathOf(std::string(TEST_BUILD_DIR) + "/" + pszName);
}

std::string HelperFile(const char* pszName)
{
    return WindowsPathOf(std::string(TEST_HELPER_DIR) + "/" + pszName);
}

// Distinct contents for each released file.
std::string ReleaseBytes(const std::string& name, size_t nSize)
{
    std::string bytes(nSize, '\0');
    unsigned v = 2166136261u;
    for (char c : name)
        v = (v ^ static_cast<unsigned char>(c)) * 16777619u;
    for (size_t i = 0; i < nSize; ++i) {
        v = v * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(v >> 16);
    }
    return bytes;
}

// A desktop of the test's own in this window station, for windows whose
// foreground state a test asserts: the foreground window is kept per desktop,
// so the dialogs that test programs running beside this one create and
// activate cannot come in between. Run() runs a step on a thread attached to
// it (a thread that owns windows cannot change its desktop).
class CPrivateDesktop {
public:
    explicit CPrivateDesktop(const std::string& strName)
        : m_strName(strName), m_hDesktop(CreateDesktopA(strName.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr))
    {
    }
    ~CPrivateDesktop()
    {
        if (m_hDesktop != nullptr)
            CloseDesktop(m_hDesktop);
    }
    CPrivateDesktop(const CPrivateDesktop&) = delete;
    CPrivateDesktop& operator=(const CPrivateDesktop&) = delete;

    bool Created() const { return m_hDesktop != nullptr; }
    const std::string& Name() const { return m_strName; }
    // Runs the step on a thread of its own attached to this desktop, and
    // waits until it ends.
    void Run(const std::function<void()>& step) const
    {
        std::thread worker([&] {
            if (SetThreadDesktop(m_hDesktop))
                step();
            else
                ADD_FAILURE() << "SetThreadDesktop failed: " << GetLastError();
        });
        worker.join();
    }

private:
    std::string m_strName;
    HDESK m_hDesktop;
};

// A plain window of the calling thread, made the foreground window.
class CFrontWindow {
public:
    CFrontWindow()
        : m_hWnd(CreateWindowExA(0, "STATIC", "front", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr))
    {
        SetForegroundWindow(m_hWnd);
    }
    ~CFrontWindow() { DestroyWindow(m_hWnd); }
    CFrontWindow(const CFrontWindow&) = delete;
    CFrontWindow& operator=(const CFrontWindow&) = delete;
    HWND Handle() const { return m_hWnd; }

private:
    HWND m_hWnd;
};

}  // namespace

// One installation: a directory holding a copy of Update.exe, its Update.ini
// and the maintained files; a temporary directory for the updater; a release
// on nginx under a path of its own. File names carry the case's tag, because
// the updater looks for running programs by name across the whole session.
class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_site.Available()) << "run through tests/e2e/with_nginx.sh";
        m_strTag = "e2e" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(g_nextCase++);
        m_strRoot = "/" + m_strTag;
        ASSERT_TRUE(CopyFileA(BuildFile("Update.exe").c_str(), (m_install / "Update.exe").c_str(), FALSE));
    }

    std::string Name(const char* pszBase) const { return m_strTag + "_" + pszBase; }

    // Installs the items' settings and files (name, content).
    void Install(const std::vector<SettingsItem>& items, const std::vector<std::pair<std::string, std::string>>& files,
                 unsigned short nPort = 0)
    {
        const SettingsTarget target = {"127.0.0.1", nPort ? nPort : m_site.Port(), m_strRoot};
        m_strInstalledSettings = SettingsText(target, items, SERVER_EXTENSION);
        ASSERT_TRUE(WriteWholeFile(m_install / "Update.ini", m_strInstalledSettings));
        for (const auto& f : files)
            ASSERT_TRUE(WriteWholeFile(m_install / f.first, f.second));
    }

    // Publishes the server's settings copy and the released files (name, content).
    void Publish(const std::vector<SettingsItem>& items, const std::vector<std::pair<std::string, std::string>>& files)
    {
        m_strServedSettings = SettingsText({"127.0.0.1", m_site.Port(), m_strRoot}, items, SERVER_EXTENSION);
        ASSERT_TRUE(m_site.Put(m_strRoot + "/Update.zip", m_strServedSettings));
        for (const auto& f : files)
            ASSERT_TRUE(m_site.Put(m_strRoot + "/" + ServerName(f.first), f.second));
    }

    std::string UpdaterPath() const { return m_install / "Update.exe"; }
    std::string Installed(const std::string& name) const { return ReadWholeFile(m_install / name); }
    std::string Record(const std::string& section) const
    {
        char buffer[128] = "";
        GetPrivateProfileStringA(section.c_str(), "CurrentVersion", "<none>", buffer, sizeof buffer,
                                 (m_install / "Update.ini").c_str());
        return buffer;
    }
    // Everything in the installation directory but Update.exe and Update.ini.
    std::vector<std::string> InstalledNames() const
    {
        std::vector<std::string> names = DirectoryListing(m_install.Path());
        names.erase(std::remove_if(names.begin(), names.end(),
                                   [](const std::string& n) { return n == "Update.exe" || n == "Update.ini"; }),
                    names.end());
        return names;
    }

    // Starts an installed file as a guardee program with the given windows
    // and waits until they exist.
    std::unique_ptr<CStartedProcess> StartProgram(const std::string& name, const char* pszWindows)
    {
        const std::string report = m_reports / (name + ".txt");
        auto pProgram = std::make_unique<CStartedProcess>(m_install / name, "\"" + report + "\" " + pszWindows);
        const bool bReady = WaitFor([&] { return ReadWholeFile(report).find("ready") != std::string::npos; }, 20000);
        EXPECT_TRUE(bReady) << name;
        return pProgram;
    }

    std::unique_ptr<CStartedProcess> StartUpdater(const char* pszArguments = "")
    {
        return std::make_unique<CStartedProcess>(UpdaterPath(), pszArguments, m_temp.Path() + "\\");
    }

    CNginxSite m_site;
    CTempDir m_install;
    CTempDir m_temp;
    CTempDir m_reports;
    std::string m_strTag;
    std::string m_strRoot;
    std::string m_strInstalledSettings;
    std::string m_strServedSettings;
};

// The interactive road: two newer files and one current one; the list, the
// status line and the button after each press.
TEST_F(EndToEnd, InteractiveRoadUpdatesTheNewerFiles)
{
    const std::string a = Name("a.exe"), b = Name("b.exe"), c = Name("c.exe");
    const std::string newA = ReleaseBytes(a, 70000), newB = ReleaseBytes(b, 3000);
    Install({{a, "1.0"}, {b, "1.0"}, {c, "3.0"}}, {{a, "old a"}, {b, "old b"}, {c, "old c"}});
    Publish({{a, "1.1"}, {b, "2.0"}, {c, "3.0"}}, {{a, newA}, {b, newB}});

    CStartedProcess updater(UpdaterPath(), "", m_temp.Path() + "\\");
    HWND hDlg = WaitForWizard(updater, kWindowTimeout);
    ASSERT_NE(nullptr, hDlg);
    HWND hList = GetDlgItem(hDlg, IDC_FILE_LIST);
    EXPECT_EQ((std::vector<std::string>{a + " 1.0", b + " 1.0", c + " 3.0"}), ListBoxLines(hList));
    EXPECT_EQ("点击下一步查看可用的更新", DlgItemText(hDlg, IDC_STATUS));
    EXPECT_EQ("下一步(&N)", DlgItemText(hDlg, IDOK));

    PressButton(hDlg, IDOK);
    EXPECT_EQ((std::vector<std::string>{a + " 1.0-->1.1", b + " 1.0-->2.0", c + " 3.0-->3.0"}), ListBoxLines(hList));
    EXPECT_EQ("发现新的版本:", DlgItemText(hDlg, IDC_STATUS));
    EXPECT_EQ("更新(&U)", DlgItemText(hDlg, IDOK));
    EXPECT_TRUE(DlgItemEnabled(hDlg, IDOK));

    PressButton(hDlg, IDOK);
    const std::string strRoot = m_strRoot;
    EXPECT_EQ((std::vector<std::string>{a + " 1.0-->1.1   " + strRoot + "/" + ServerName(a) + "完成更新!",
                                        b + " 1.0-->2.0   " + strRoot + "/" + ServerName(b) + "完成更新!"}),
              ListBoxLines(hList));
    EXPECT_EQ("完成更新！", DlgItemText(hDlg, IDC_STATUS));
    EXPECT_EQ("完成(&O)", DlgItemText(hDlg, IDOK));
    EXPECT_EQ(100, ProgressPos(GetDlgItem(hDlg, IDC_PROGRESS)));

    PressButton(hDlg, IDOK);
    ASSERT_TRUE(updater.WaitForExit(kRunTimeout));
    EXPECT_EQ(0u, updater.ExitCode());
    EXPECT_TRUE(SameBytes(newA, Installed(a)));
    EXPECT_TRUE(SameBytes(newB, Installed(b)));
    EXPECT_EQ("old c", Installed(c));
    EXPECT_EQ(m_strServedSettings, Installed("Update.ini"));
    EXPECT_EQ(Sorted({a, b, c}), InstalledNames());
    EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty());
}

// A marked file whose program runs: the user is asked; OK closes the program
// and replaces the file, Cancel leaves it running, the replacement fails and
// the record keeps the installed version.
TEST_F(EndToEnd, RunningProgramOfAMarkedFile)
{
    for (int nAnswer : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(nAnswer == IDOK ? "OK" : "Cancel");
        const std::string p = Name(nAnswer == IDOK ? "ok.exe" : "cancel.exe");
        const std::string oldP = ReadWholeFile(HelperFile("guardee.exe"));
        const std::string newP = ReleaseBytes(p, 20000);
        Install({{p, "1.0"}}, {{p, oldP}});
        Publish({{p, "2.0"}}, {{p, newP}});
        auto pProgram = StartProgram(p, "a");

        CStartedProcess updater(UpdaterPath(), "", m_temp.Path() + "\\");
        HWND hDlg = WaitForWizard(updater, kWindowTimeout);
        ASSERT_NE(nullptr, hDlg);
        PressButton(hDlg, IDOK);
        PressButtonAsync(hDlg, IDOK);
        MessageBoxSeen question;
        ASSERT_TRUE(WaitForMessageBox(updater.Pid(), question, kWindowTimeout));
        EXPECT_EQ(p + QUESTION_SUFFIX, question.strText);
        AnswerMessageBox(question, nAnswer);

        const std::string installedPath = m_install / p;
        const std::string writeError = "写文件" + installedPath + "错误！";
        if (nAnswer == IDCANCEL) {
            // The running program's file cannot be replaced: the download says so.
            MessageBoxSeen error;
            ASSERT_TRUE(WaitForMessageBox(updater.Pid(), error, kWindowTimeout));
            EXPECT_EQ(writeError + "\n文件正在使用中，请先关闭程序！", error.strText);
            AnswerMessageBox(error, IDOK);
        }
        ASSERT_TRUE(WaitFor([&] { return DlgItemText(hDlg, IDOK) == "完成(&O)"; }, kRunTimeout));
        const std::string result =
            nAnswer == IDOK ? m_strRoot + "/" + ServerName(p) + "完成更新!" : writeError;
        EXPECT_EQ(std::vector<std::string>{p + " 1.0-->2.0   " + result}, ListBoxLines(GetDlgItem(hDlg, IDC_FILE_LIST)));
        EXPECT_EQ("完成更新！", DlgItemText(hDlg, IDC_STATUS));
        PressButton(hDlg, IDOK);
        ASSERT_TRUE(updater.WaitForExit(kRunTimeout));
        EXPECT_EQ(0u, updater.ExitCode());

        if (nAnswer == IDOK) {
            EXPECT_TRUE(pProgram->WaitForExit(0));
            EXPECT_TRUE(SameBytes(newP, Installed(p)));
            EXPECT_EQ(m_strServedSettings, Installed("Update.ini"));
        } else {
            EXPECT_TRUE(pProgram->IsRunning());
            EXPECT_TRUE(SameBytes(oldP, Installed(p)));
            EXPECT_EQ("1.0", Record(p));
        }
        EXPECT_EQ(std::vector<std::string>{p}, InstalledNames());
        EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty());
        pProgram.reset();
        DeleteFileA((m_install / p).c_str());
    }
}

TEST_F(EndToEnd, NothingNewerLeavesEverythingAsItWas)
{
    const std::string a = Name("a.exe");
    Install({{a, "1.5"}}, {{a, "old a"}});
    Publish({{a, "1.50"}}, {{a, "new a"}});

    CStartedProcess updater(UpdaterPath(), "", m_temp.Path() + "\\");
    HWND hDlg = WaitForWizard(updater, kWindowTimeout);
    ASSERT_NE(nullptr, hDlg);
    PressButton(hDlg, IDOK);
    EXPECT_EQ(std::vector<std::string>{a + " 1.5"}, ListBoxLines(GetDlgItem(hDlg, IDC_FILE_LIST)));
    EXPECT_EQ("您现在用的版本已是最新的！", DlgItemText(hDlg, IDC_STATUS));
    EXPECT_EQ("更新(&U)", DlgItemText(hDlg, IDOK));
    EXPECT_FALSE(DlgItemEnabled(hDlg, IDOK));

    PressButtonAsync(hDlg, IDCANCEL);
    ASSERT_TRUE(updater.WaitForExit(kRunTimeout));
    EXPECT_EQ(0u, updater.ExitCode());
    EXPECT_EQ("old a", Installed(a));
    EXPECT_EQ(m_strInstalledSettings, Installed("Update.ini"));
    EXPECT_EQ(std::vector<std::string>{a}, InstalledNames());
    // The check's copy of the server settings stays until a later check.
    EXPECT_EQ(std::vector<std::string>{"Update.ini"}, DirectoryListing(m_temp.Path()));
}

// The unattended runs ("Update.exe true"): no question, the dialog closes by
// itself, and the exit code tells the scheduler what happened.
TEST_F(EndToEnd, UnattendedWithNothingNewerClosesByItself)
{
    const std::string a = Name("a.exe");
    Install({{a, "2.0"}}, {{a, "old a"}});
    Publish({{a, "2.0"}}, {{a, "new a"}});

    auto pUpdater = StartUpdater("true");
    ASSERT_TRUE(pUpdater->WaitForExit(kRunTimeout));
    EXPECT_EQ(0u, pUpdater->ExitCode());
    EXPECT_EQ("old a", Installed(a));
    EXPECT_EQ(m_strInstalledSettings, Installed("Update.ini"));
    EXPECT_EQ(std::vector<std::string>{a}, InstalledNames());
}

// A program that agrees to end but ignores the close request is terminated
// after the wait; both files and the settings are replaced.
TEST_F(EndToEnd, UnattendedClosesARunningProgramAndReplacesEverything)
{
    const std::string a = Name("a.exe"), p = Name("prog.exe");
    const std::string newA = ReleaseBytes(a, 9000), newP = ReleaseBytes(p, 40000);
    Install({{a, "1.0"}, {p, "1.0"}}, {{a, "old a"}, {p, ReadWholeFile(HelperFile("guardee.exe"))}});
    Publish({{a, "1.2"}, {p, "1.1"}}, {{a, newA}, {p, newP}});
    auto pProgram = StartProgram(p, "i");

    auto pUpdater = StartUpdater("true");
    ASSERT_TRUE(pUpdater->WaitForExit(kRunTimeout));
    EXPECT_EQ(0u, pUpdater->ExitCode());
    EXPECT_TRUE(pProgram->WaitForExit(0));
    EXPECT_TRUE(SameBytes(newA, Installed(a)));
    EXPECT_TRUE(SameBytes(newP, Installed(p)));
    EXPECT_EQ(m_strServedSettings, Installed("Update.ini"));
    EXPECT_EQ(Sorted({a, p}), InstalledNames());
    EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty());
}

// A window that refuses to close stops the run at its file: the file before
// it is replaced, the one after it is not visited, the settings stay.
TEST_F(EndToEnd, UnattendedStopsAtAWindowThatRefusesToClose)
{
    const std::string a = Name("a.exe"), r = Name("refuse.exe"), c = Name("c.exe");
    const std::string oldR = ReadWholeFile(HelperFile("guardee.exe"));
    const std::string newA = ReleaseBytes(a, 5000);
    Install({{a, "1.0"}, {r, "1.0"}, {c, "1.0"}}, {{a, "old a"}, {r, oldR}, {c, "old c"}});
    Publish({{a, "2.0"}, {r, "2.0"}, {c, "2.0"}}, {{a, newA}, {r, "new r"}, {c, "new c"}});
    auto pProgram = StartProgram(r, "r");

    auto pUpdater = StartUpdater("true");
    ASSERT_TRUE(pUpdater->WaitForExit(kRunTimeout));
    EXPECT_EQ(1u, pUpdater->ExitCode());
    EXPECT_TRUE(pProgram->IsRunning());
    EXPECT_TRUE(SameBytes(newA, Installed(a)));
    EXPECT_TRUE(SameBytes(oldR, Installed(r)));
    EXPECT_EQ("old c", Installed(c));
    EXPECT_EQ(m_strInstalledSettings, Installed("Update.ini"));
    EXPECT_EQ(Sorted({a, c, r}), InstalledNames());
}

// A LocalFileName that climbs out of the installation directory is refused;
// the other file is updated, and the run counts as failed.
TEST_F(EndToEnd, UnattendedRefusesANameOutsideTheInstallation)
{
    const std::string out = Name("out"), in = Name("in.exe");
    const std::string outside = m_install.Path() + "\\..\\" + out + ".exe";
    Install({{out, "1.0", ("..\\" + out + ".exe").c_str()}, {in, "1.0"}}, {{in, "old in"}});
    Publish({{out, "2.0", ("..\\" + out + ".exe").c_str()}, {in, "2.0"}}, {{out, "escaped"}, {in, "new in"}});

    auto pUpdater = StartUpdater("true");
    ASSERT_TRUE(pUpdater->WaitForExit(kRunTimeout));
    EXPECT_EQ(1u, pUpdater->ExitCode());
    EXPECT_FALSE(FileExists(outside));
    EXPECT_EQ("new in", Installed(in));
    EXPECT_EQ("1.0", Record(out));
    EXPECT_EQ("2.0", Record(in));
    EXPECT_EQ(std::vector<std::string>{in}, InstalledNames());
    EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty());
}

// Cancel during an unattended run: the dialog disappears at once, the file
// on its way is abandoned (the installed one untouched, no staging file), no
// later file is fetched, the settings stay, and the program ends by itself.
TEST_F(EndToEnd, UnattendedCancelStopsTheRunAtOnce)
{
    m_strRoot = "/slow/" + m_strTag;  // nginx sends these at 32 KiB/s
    const std::string a = Name("a.exe"), b = Name("b.exe");
    Install({{a, "1.0"}, {b, "1.0"}}, {{a, "old a"}, {b, "old b"}});
    Publish({{a, "2.0"}, {b, "2.0"}}, {{a, ReleaseBytes(a, 256 * 1024)}, {b, "new b"}});

    auto pUpdater = StartUpdater("true");
    HWND hDlg = WaitForWizard(*pUpdater, kWindowTimeout);
    ASSERT_NE(nullptr, hDlg);
    const std::string downloading = "正在下载文件：" + m_strRoot + "/" + ServerName(a);
    ASSERT_TRUE(WaitFor([&] { return DlgItemText(hDlg, IDC_STATUS) == downloading; }, kRunTimeout));
    PressButton(hDlg, IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(hDlg));

    ASSERT_TRUE(pUpdater->WaitForExit(kRunTimeout));
    EXPECT_EQ(1u, pUpdater->ExitCode());
    EXPECT_TRUE(SameBytes("old a", Installed(a)));
    EXPECT_EQ("old b", Installed(b));
    EXPECT_EQ(m_strInstalledSettings, Installed("Update.ini"));
    EXPECT_EQ(Sorted({a, b}), InstalledNames());
}

TEST_F(EndToEnd, UnattendedWithTheServerUnreachableEndsWithTwo)
{
    const std::string a = Name("a.exe");
    Install({{a, "1.0"}}, {{a, "old a"}}, ClosedLoopbackPort());

    auto pUpdater = StartUpdater("true");
    ASSERT_TRUE(pUpdater->WaitForExit(kRunTimeout));
    EXPECT_EQ(2u, pUpdater->ExitCode());
    EXPECT_EQ("old a", Installed(a));
    EXPECT_EQ(m_strInstalledSettings, Installed("Update.ini"));
}

// A second updater for the same installation starts no update: a scheduled
// one ends at once with 3, an interactive one brings the open wizard to the
// front. The updaters run on a desktop of the test's own, so that what is in
// front there is theirs and the test's alone.
TEST_F(EndToEnd, SecondUpdaterForTheSameInstallationStartsNoUpdate)
{
    const std::string a = Name("a.exe");
    Install({{a, "1.0"}}, {{a, "old a"}});
    Publish({{a, "2.0"}}, {{a, "new a"}});
    const std::string strTemp = m_temp.Path() + "\\";
    const CPrivateDesktop desktop("UpdateTest" + std::to_string(GetCurrentProcessId()));
    ASSERT_TRUE(desktop.Created()) << GetLastError();

    desktop.Run([&] {
        CStartedProcess first(UpdaterPath(), "", strTemp, desktop.Name());
        HWND hFirst = WaitForWizard(first, kWindowTimeout);
        ASSERT_NE(nullptr, hFirst);

        CStartedProcess scheduled(UpdaterPath(), "true", strTemp, desktop.Name());
        ASSERT_TRUE(scheduled.WaitForExit(kRunTimeout));
        EXPECT_EQ(3u, scheduled.ExitCode());

        {
            // Another window in front, so that the wizard's coming there shows.
            const CFrontWindow front;
            ASSERT_EQ(front.Handle(), GetForegroundWindow());
            CStartedProcess second(UpdaterPath(), "", strTemp, desktop.Name());
            ASSERT_TRUE(second.WaitForExit(kRunTimeout));
            EXPECT_EQ(0u, second.ExitCode());
            EXPECT_EQ(hFirst, GetForegroundWindow());
        }

        EXPECT_TRUE(first.IsRunning());
        EXPECT_EQ("old a", Installed(a));
        EXPECT_EQ(m_strInstalledSettings, Installed("Update.ini"));
        EXPECT_TRUE(DirectoryListing(m_temp.Path()).empty());
        PressButtonAsync(hFirst, IDCANCEL);
        ASSERT_TRUE(first.WaitForExit(kRunTimeout));
        EXPECT_EQ(0u, first.ExitCode());
    });
}
