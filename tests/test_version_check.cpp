// The version check against the loopback server: what it asks, how it
// compares, and what every failure leaves on screen and on disk.
#include <gtest/gtest.h>
#include "tests/support/NetDialogHost.h"
#include "tests/support/NetFixture.h"
#include "tests/support/WindowDriver.h"

namespace {

const char VERSION_PATH[] = "/upd/Update.zip";
const char STATUS_UP_TO_DATE[] = "您现在用的版本已是最新的！";
const char STATUS_NEWER[] = "发现新的版本:";
const char STATUS_CONNECTING[] = "正在连接到服务器...";
const char STATUS_READING[] = "读取版本信息...";
const char STATUS_CONNECT_FAILED[] = "连接服务器失败！";

// Installed: one item app.exe at 1.0. Served copies that mark it newer or not.
const char ONE_ITEM[] = "[app.exe]\nCurrentVersion=1.0\n";
const std::string SERVED_NEWER = Crlf("[app.exe]\nCurrentVersion=2.0\n");

struct CheckOutcome {
    BOOL bResult = FALSE;
    std::string status;
    std::vector<std::string> lines;
    std::string caption;
    bool bEnabled = false;
    std::vector<std::string> statuses;
    bool bUnreachable = false;
};

class VersionCheck : public NetFixture {
protected:
    CheckOutcome RunCheck()
    {
        CNetDialogHost host;
        CheckOutcome outcome;
        host.Run([&](CUpdateDlg& dlg) {
            outcome.bResult = dlg.CheckVersions();
            outcome.bUnreachable = dlg.m_bServerUnreachable != FALSE;
        });
        outcome.status = host.Status();
        outcome.lines = host.ListLines();
        outcome.caption = host.ButtonCaption();
        outcome.bEnabled = host.ButtonEnabled();
        outcome.statuses = host.StatusHistory();
        return outcome;
    }
    std::vector<UpdateFileInfo> RunCheckForItems(BOOL& bResult, std::vector<std::string>& lines)
    {
        CNetDialogHost host;
        std::vector<UpdateFileInfo> items;
        host.Run([&](CUpdateDlg& dlg) {
            bResult = dlg.CheckVersions();
            for (INT_PTR i = 0; i < dlg.m_arrFiles.GetSize(); ++i)
                items.push_back(dlg.m_arrFiles[i]);
        });
        lines = host.ListLines();
        return items;
    }
};

}  // namespace

TEST_F(VersionCheck, AsksForTheCopyWithTheAddedHeaderLineAndTheProgramsName)
{
    WriteInstalledSettings("app.exe", ONE_ITEM);
    m_server->Serve(VERSION_PATH, HttpReply::Ok(SERVED_NEWER));
    RunCheck();

    const std::vector<HttpRequestSeen> requests = m_server->Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET /upd/Update.zip HTTP/1.0", requests[0].requestLine);
    EXPECT_EQ("text/xml;charset=utf-8;User-Agent:Kelp Client", requests[0].Header("Content-Type"));
    // The agent is the application's name: the program's base name.
    EXPECT_EQ("test_version_check", requests[0].Header("User-Agent"));
}

TEST_F(VersionCheck, ComparesVersionsAsLeadingNumbers)
{
    struct Row { const char* section; const char* installed; const char* served; bool newer; const char* shown; };
    const std::string longVersion = "9." + std::string(198, '1');  // 200 characters
    const std::string cutVersion = longVersion.substr(0, 127);
    const Row rows[] = {
        { "v110.exe", "1.10", "1.9", true, "1.9" },        // 1.1 < 1.9
        { "v100.exe", "1.0", "1.00", false, "1.00" },
        { "v20.exe", "2.0", "1.5", false, "1.5" },         // never a downgrade
        { "v203.exe", "2.0", "2.0.3", false, "2.0.3" },    // reads as 2.0
        { "v193.exe", "1.9", "2.0.3", true, "2.0.3" },
        { "letter.exe", "1.0", "v2.0", false, "v2.0" },    // a leading letter reads as 0
        { "zero.exe", "beta", "0.1", true, "0.1" },
        { "nokey.exe", "1.0", nullptr, false, "1.0" },     // key missing in the served copy
        { "nosection.exe", "1.0", "", false, "1.0" },      // section missing
        { "long.exe", "1.0", longVersion.c_str(), true, cutVersion.c_str() },
    };
    std::string fileList, installed, served;
    for (const Row& row : rows) {
        fileList += std::string(fileList.empty() ? "" : ",") + row.section;
        installed += std::string("[") + row.section + "]\nCurrentVersion=" + row.installed + "\n";
        if (row.served == nullptr)
            served += std::string("[") + row.section + "]\nServerFileName=x.zip\n";
        else if (*row.served)
            served += std::string("[") + row.section + "]\nCurrentVersion=" + row.served + "\n";
    }
    WriteInstalledSettings(fileList, installed);
    m_server->Serve(VERSION_PATH, HttpReply::Ok(Crlf(served)));

    BOOL bResult = FALSE;
    std::vector<std::string> lines;
    const std::vector<UpdateFileInfo> items = RunCheckForItems(bResult, lines);

    EXPECT_TRUE(bResult);
    ASSERT_EQ(std::size(rows), items.size());
    ASSERT_EQ(std::size(rows), lines.size());
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(rows[i].section);
        EXPECT_EQ(rows[i].newer, items[i].bNeedUpdate != FALSE);
        EXPECT_EQ(rows[i].shown, items[i].strServerVersion.Str());
        // Every item gets a line when one is newer, in catalogue order.
        EXPECT_EQ(std::string(rows[i].section) + " " + rows[i].installed + "-->" + rows[i].shown, lines[i]);
    }
}

TEST_F(VersionCheck, NewerVersionEnablesTheUpdateStep)
{
    WriteInstalledSettings("app.exe", ONE_ITEM);
    m_server->Serve(VERSION_PATH, HttpReply::Ok(SERVED_NEWER));
    const CheckOutcome outcome = RunCheck();

    EXPECT_TRUE(outcome.bResult);
    EXPECT_EQ(STATUS_NEWER, outcome.status);
    EXPECT_EQ(std::vector<std::string>({ "app.exe 1.0-->2.0" }), outcome.lines);
    EXPECT_EQ("更新(&U)", outcome.caption);
    EXPECT_TRUE(outcome.bEnabled);
    EXPECT_EQ(std::vector<std::string>({ STATUS_CONNECTING, STATUS_READING, STATUS_NEWER }), outcome.statuses);
    EXPECT_EQ(SERVED_NEWER, ReadWholeFile(VersionCopyPath()));
}

TEST_F(VersionCheck, EmptyCatalogueStillFetchesTheCopyAndEndsUpToDate)
{
    WriteInstalledSettings("", "");
    m_server->Serve(VERSION_PATH, HttpReply::Ok(SERVED_NEWER));
    const CheckOutcome outcome = RunCheck();

    EXPECT_FALSE(outcome.bResult);
    EXPECT_EQ(1u, m_server->Requests().size());
    EXPECT_TRUE(FileExists(VersionCopyPath()));
    EXPECT_EQ(STATUS_UP_TO_DATE, outcome.status);
    EXPECT_EQ("更新(&U)", outcome.caption);
    EXPECT_FALSE(outcome.bEnabled);
}

// Every failure of the check: what the screen shows at the end and what is
// left of the temporary copy. "Earlier copy" is a copy that a previous check
// left, listing the item as newer.
TEST_F(VersionCheck, FailuresEndInTheComparisonWithoutAPartialCopy)
{
    enum class Copy { Absent, Earlier, Served };
    struct Row {
        const char* name;
        Server server;
        HttpReply reply;
        bool bEarlierCopy;
        BOOL bResult;
        const char* status;
        Copy copyAfter;
    };
    const std::string bigNewer = SERVED_NEWER + std::string(10000, ';');
    HttpReply reset = HttpReply::Ok(bigNewer);
    reset.fault = HttpReply::Fault::ResetMidBody;
    reset.faultAfter = 4000;
    HttpReply shortBody = HttpReply::Ok(bigNewer.substr(0, 4000));
    shortBody.length = HttpReply::Length::Announced;
    shortBody.announcedLength = bigNewer.size();
    HttpReply noResponse;
    noResponse.fault = HttpReply::Fault::CloseWithoutResponse;
    HttpReply noLength = HttpReply::Ok(SERVED_NEWER);
    noLength.length = HttpReply::Length::Absent;
    const HttpReply notFound = HttpReply::Status(404, "Not Found", "<html>404 Not Found</html>");

    const Row rows[] = {
        { "refused", Server::Refused, {}, false, FALSE, STATUS_UP_TO_DATE, Copy::Absent },
        { "refused, earlier copy", Server::Refused, {}, true, TRUE, STATUS_NEWER, Copy::Earlier },
        { "no connection in time", Server::BacklogFull, {}, false, FALSE, STATUS_UP_TO_DATE, Copy::Absent },
        { "reset mid-body", Server::Reply, reset, true, FALSE, STATUS_UP_TO_DATE, Copy::Absent },
        { "shorter than announced", Server::Reply, shortBody, true, FALSE, STATUS_UP_TO_DATE, Copy::Absent },
        { "closed without response", Server::Reply, noResponse, true, FALSE, STATUS_UP_TO_DATE, Copy::Served },
        { "no length announced", Server::Reply, noLength, false, TRUE, STATUS_NEWER, Copy::Served },
        { "404 page", Server::Reply, notFound, true, FALSE, STATUS_UP_TO_DATE, Copy::Served },
    };
    const std::string earlier = Crlf("[app.exe]\nCurrentVersion=3.0\n");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_server = std::make_unique<CLoopbackServer>();
        m_server->Serve(VERSION_PATH, row.reply);
        const unsigned short nPort = PortFor(row.server);
        ASSERT_NE(0, nPort);
        WriteInstalledSettings("app.exe", ONE_ITEM, nPort);
        DeleteFileA(VersionCopyPath().c_str());
        if (row.bEarlierCopy) {
            ASSERT_TRUE(WriteWholeFile(VersionCopyPath(), earlier));
        }

        const ULONGLONG ullStart = GetTickCount64();
        const CheckOutcome outcome = RunCheck();
        const ULONGLONG ullElapsed = GetTickCount64() - ullStart;

        EXPECT_EQ(row.bResult, outcome.bResult);
        EXPECT_EQ(row.status, outcome.status);
        EXPECT_EQ(row.bResult != FALSE, outcome.bEnabled);
        // Unreachable: the request could not be sent.
        EXPECT_EQ(row.server != Server::Reply, outcome.bUnreachable);
        switch (row.copyAfter) {
        case Copy::Absent: EXPECT_FALSE(FileExists(VersionCopyPath())); break;
        case Copy::Earlier: EXPECT_EQ(earlier, ReadWholeFile(VersionCopyPath())); break;
        case Copy::Served:
            EXPECT_TRUE(FileExists(VersionCopyPath()));
            EXPECT_EQ(row.reply.body, ReadWholeFile(VersionCopyPath()));
            break;
        }
        // The connect time-out of 2000 ms holds although Wine's WinINet
        // ignores it (it would wait about two minutes).
        if (row.server == Server::BacklogFull) {
            EXPECT_GE(ullElapsed, 1900u);
            EXPECT_LT(ullElapsed, 15000u);
        }
    }
}

TEST_F(VersionCheck, CopyThatCannotBeCreatedIsAConnectFailureAndWritesNothing)
{
    WriteInstalledSettings("app.exe", ONE_ITEM);
    m_server->Serve(VERSION_PATH, HttpReply::Ok(SERVED_NEWER));
    SetTempDir(m_tempDir->Path() + "\\missing\\");
    const CheckOutcome outcome = RunCheck();

    EXPECT_EQ(std::vector<std::string>({ STATUS_CONNECTING, STATUS_READING, STATUS_CONNECT_FAILED, STATUS_UP_TO_DATE }),
              outcome.statuses);
    EXPECT_FALSE(outcome.bResult);
    EXPECT_FALSE(FileExists(m_tempDir->Path() + "\\missing"));
}
