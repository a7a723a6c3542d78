// The download of one file against the loopback server: every outcome, what
// it leaves on disk, the progress bar and the message pump; and the framework
// promises the download relies on (bounded connect, bounded reads).
#include <gtest/gtest.h>
#include "tests/support/NetDialogHost.h"
#include "tests/support/NetFixture.h"
#include "tests/support/WindowDriver.h"

namespace {

const char SERVER_PATH[] = "/upd/tool.zip";
const char LOCAL_NAME[] = "tool.exe";
const char OLD_CONTENT[] = "old program";
const char INITIAL_STATUS[] = "点击下一步查看可用的更新";
const char UNTOUCHED[] = "untouched";  // result text passed in

struct Outcome {
    BOOL bResult = FALSE;
    std::string result;
    std::string status;
    std::vector<int> positions;
};

class Download : public NetFixture {
protected:
    void SetUp() override
    {
        NetFixture::SetUp();
        WriteInstalledSettings("", "");
    }
    std::string Installed() const { return *m_installDir / LOCAL_NAME; }
    std::string Staging() const { return Installed() + ".upg"; }

    // Runs FetchFile on the dialog's thread with the installation directory
    // pointed at the test's own.
    Outcome Fetch(bool bAutoMode = false)
    {
        CNetDialogHost host;
        Outcome outcome;
        host.Run([&](CUpdateDlg& dlg) {
            dlg.m_strAppDir = m_installDir->Path().c_str();
            dlg.m_bAutoMode = bAutoMode;
            CString strResult = UNTOUCHED;
            outcome.bResult = dlg.FetchFile(SERVER_PATH, LOCAL_NAME, strResult);
            outcome.result = strResult.Str();
        });
        outcome.status = host.Status();
        outcome.positions = host.ProgressPositions();
        return outcome;
    }
};

std::string Text(const std::string& prefix, const char* suffix) { return prefix + suffix; }

}  // namespace

// Every outcome of a download that returns: result, texts, and what is left
// on disk. Only a complete 2xx body is put in place.
TEST_F(Download, OutcomesAndWhatTheyLeaveOnDisk)
{
    struct Row {
        const char* name;
        Server server;
        HttpReply reply;
        bool bInstalledBefore;
        BOOL bResult;
        std::string status;
        std::string result;
        std::string installedAfter;  // "" with bGone: no file
        bool bGone;
    };
    const std::string body = PatternBytes(5000);
    HttpReply noLength = HttpReply::Ok(body);
    noLength.length = HttpReply::Length::Absent;
    HttpReply shortBody = HttpReply::Ok(body.substr(0, 4000));
    shortBody.length = HttpReply::Length::Announced;
    shortBody.announcedLength = 10000;
    HttpReply redirect = HttpReply::Status(302, "Found", "<html>moved</html>");
    redirect.headers.push_back("Location: http://127.0.0.1/elsewhere");
    HttpReply noResponse;
    noResponse.fault = HttpReply::Fault::CloseWithoutResponse;
    HttpReply created = HttpReply::Status(201, "Created", body);

    const std::string done = Text(SERVER_PATH, "完成更新!");
    const std::string failed = Text(SERVER_PATH, "下载失败！");
    const std::string notFound = Text(SERVER_PATH, "不存在！");
    const Row rows[] = {
        { "200 replaces", Server::Reply, HttpReply::Ok(body), true, TRUE, done, done, body, false },
        { "not installed before", Server::Reply, HttpReply::Ok(body), false, TRUE, done, done, body, false },
        { "empty body", Server::Reply, HttpReply::Ok(""), true, TRUE, done, done, "", false },
        { "no length announced", Server::Reply, noLength, true, TRUE, done, done, body, false },
        { "201 is a success", Server::Reply, created, true, TRUE, done, done, body, false },
        { "404", Server::Reply, HttpReply::Status(404, "Not Found", "<html>404</html>"), true, FALSE,
          notFound, notFound, OLD_CONTENT, false },
        { "404, not installed", Server::Reply, HttpReply::Status(404, "Not Found", "x"), false, FALSE,
          notFound, notFound, "", true },
        { "500 page", Server::Reply, HttpReply::Status(500, "Internal Server Error", "<html>oops</html>"), true,
          FALSE, failed, failed, OLD_CONTENT, false },
        { "redirect page", Server::Reply, redirect, true, FALSE, failed, failed, OLD_CONTENT, false },
        { "shorter than announced", Server::Reply, shortBody, true, FALSE, failed, failed, OLD_CONTENT, false },
        { "closed without response", Server::Reply, noResponse, true, FALSE, failed, failed, OLD_CONTENT, false },
        { "refused", Server::Refused, {}, true, FALSE, INITIAL_STATUS, UNTOUCHED, OLD_CONTENT, false },
        { "no connection in time", Server::BacklogFull, {}, true, FALSE, INITIAL_STATUS, UNTOUCHED, OLD_CONTENT, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_server = std::make_unique<CLoopbackServer>();
        m_server->Serve(SERVER_PATH, row.reply);
        const unsigned short nPort = PortFor(row.server);
        ASSERT_NE(0, nPort);
        WriteInstalledSettings("", "", nPort);
        DeleteFileA(Installed().c_str());
        if (row.bInstalledBefore) {
            ASSERT_TRUE(WriteWholeFile(Installed(), OLD_CONTENT));
        }

        const ULONGLONG ullStart = GetTickCount64();
        const Outcome outcome = Fetch();
        const ULONGLONG ullElapsed = GetTickCount64() - ullStart;

        EXPECT_EQ(row.bResult, outcome.bResult);
        EXPECT_EQ(row.status, outcome.status);
        EXPECT_EQ(row.result, outcome.result);
        EXPECT_EQ(!row.bGone, FileExists(Installed()));
        EXPECT_EQ(row.installedAfter, ReadWholeFile(Installed()));
        EXPECT_FALSE(FileExists(Staging()));
        if (row.server == Server::BacklogFull) {
            // The 2000 ms connect time-out holds under Wine too.
            EXPECT_GE(ullElapsed, 1900u);
            EXPECT_LT(ullElapsed, 15000u);
        }
    }
}

TEST_F(Download, RequestCarriesNoAddedHeader)
{
    m_server->Serve(SERVER_PATH, HttpReply::Ok("x"));
    Fetch();
    const std::vector<HttpRequestSeen> requests = m_server->Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET /upd/tool.zip HTTP/1.0", requests[0].requestLine);
    EXPECT_FALSE(requests[0].HasHeader("Content-Type"));
    EXPECT_EQ("test_download", requests[0].Header("User-Agent"));
}

// The bar moves only when its position changes; without a length it shows 0
// while the body arrives and 100 at its end.
TEST_F(Download, ProgressPositions)
{
    struct Row { const char* name; unsigned long long size; bool bAnnounced; std::vector<int> positions; };
    std::vector<int> everyPercent;
    for (int i = 0; i <= 100; ++i)
        everyPercent.push_back(i);
    const Row rows[] = {
        { "4096 in two pieces", 4096, true, { 50, 100 } },
        { "empty body", 0, true, {} },
        { "no length, five pieces", 5 * 2048, false, { 0, 100 } },
        { "one position per percent", 1000 * 2048, true, everyPercent },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HttpReply reply;
        reply.patternBytes = row.size;
        if (!row.bAnnounced)
            reply.length = HttpReply::Length::Absent;
        m_server->Serve(SERVER_PATH, reply);
        const Outcome outcome = Fetch();
        EXPECT_TRUE(outcome.bResult);
        EXPECT_EQ(row.positions, outcome.positions);
        EXPECT_EQ(PatternBytes(row.size), ReadWholeFile(Installed()));
    }
}

// Each 2048-byte piece makes exactly ten passes over the message queue, each
// taking at most one message: two pieces take 20 of 25 waiting messages.
TEST_F(Download, TenMessagePassesPerPiece)
{
    m_server->Serve(SERVER_PATH, HttpReply::Ok(PatternBytes(4096)));
    CNetDialogHost host;
    int nDispatched = -1;
    host.Run([&](CUpdateDlg& dlg) {
        dlg.m_strAppDir = m_installDir->Path().c_str();
        host.PostCountedMessages(25);
        CString strResult;
        dlg.FetchFile(SERVER_PATH, LOCAL_NAME, strResult);
        nDispatched = host.CountedMessagesDispatched();
    });
    EXPECT_EQ(20, nDispatched);
}

TEST_F(Download, StagingLeftByAnEarlierDownloadIsRewritten)
{
    const std::string body = PatternBytes(3000);
    m_server->Serve(SERVER_PATH, HttpReply::Ok(body));
    ASSERT_TRUE(WriteWholeFile(Installed(), OLD_CONTENT));
    ASSERT_TRUE(WriteWholeFile(Staging(), std::string(10000, 'j')));
    EXPECT_TRUE(Fetch().bResult);
    EXPECT_EQ(body, ReadWholeFile(Installed()));
    EXPECT_FALSE(FileExists(Staging()));
}

// A reset in the middle of the body raises out of the download; the installed
// file stays and no partial staging file is left.
TEST_F(Download, ReadFailureLeavesInstalledFileAndNoStaging)
{
    HttpReply reset = HttpReply::Ok(PatternBytes(100000));
    reset.fault = HttpReply::Fault::ResetMidBody;
    reset.faultAfter = 40000;
    m_server->Serve(SERVER_PATH, reset);
    ASSERT_TRUE(WriteWholeFile(Installed(), OLD_CONTENT));

    CNetDialogHost host;
    EXPECT_THROW(host.Run([&](CUpdateDlg& dlg) {
        dlg.m_strAppDir = m_installDir->Path().c_str();
        CString strResult;
        dlg.FetchFile(SERVER_PATH, LOCAL_NAME, strResult);
    }), CInternetException);
    EXPECT_EQ(Text("正在下载文件：", SERVER_PATH), host.Status());
    EXPECT_EQ(OLD_CONTENT, ReadWholeFile(Installed()));
    EXPECT_FALSE(FileExists(Staging()));
}

// A file held open by another program: the staging file cannot be created,
// or the swap cannot replace the installed file. Interactive runs show the
// box naming the installed file; unattended runs show nothing.
TEST_F(Download, FileInUse)
{
    enum class Held { Staging, Installed };
    struct Row { const char* name; Held held; bool bAutoMode; std::string status; };
    const std::string writeError = "写文件" + Installed() + "错误！";
    const std::string downloading = Text("正在下载文件：", SERVER_PATH);
    const Row rows[] = {
        { "staging in use, interactive", Held::Staging, false, downloading },
        { "staging in use, unattended", Held::Staging, true, downloading },
        { "installed in use, interactive", Held::Installed, false, writeError },
        { "installed in use, unattended", Held::Installed, true, writeError },
    };
    m_server->Serve(SERVER_PATH, HttpReply::Ok(PatternBytes(3000)));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(WriteWholeFile(Installed(), OLD_CONTENT));
        DeleteFileA(Staging().c_str());
        const std::string heldPath = row.held == Held::Staging ? Staging() : Installed();
        HANDLE hHeld = CreateFileA(heldPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);

        CNetDialogHost host;
        BOOL bResult = TRUE;
        CString strResult;
        host.Start([&](CUpdateDlg& dlg) {
            dlg.m_strAppDir = m_installDir->Path().c_str();
            dlg.m_bAutoMode = row.bAutoMode;
            bResult = dlg.FetchFile(SERVER_PATH, LOCAL_NAME, strResult);
        });
        MessageBoxSeen box;
        const bool bBox = WaitForMessageBox(GetCurrentProcessId(), box, row.bAutoMode ? 1000 : 10000);
        if (bBox)
            AnswerMessageBox(box, IDOK);
        host.Finish();
        CloseHandle(hHeld);

        EXPECT_EQ(!row.bAutoMode, bBox);
        if (bBox) {
            EXPECT_EQ(writeError + "\n文件正在使用中，请先关闭程序！", box.strText);
            EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.nIcon);
        }
        EXPECT_FALSE(bResult);
        EXPECT_EQ(row.status, host.Status());
        EXPECT_EQ(row.status, strResult.Str());
        EXPECT_EQ(OLD_CONTENT, ReadWholeFile(Installed()));
        if (row.held == Held::Installed) {
            EXPECT_FALSE(FileExists(Staging()));
        }
    }
}

// The framework's reads are bounded by the request's receive time-out, and a
// failed read stays failed (Wine's next read would return 0 bytes, which reads
// like the end of the body).
TEST_F(Download, StalledServerFailsTheReadAndEveryLaterRead)
{
    HttpReply stalled = HttpReply::Ok(PatternBytes(8192));
    stalled.pieceSize = 4096;
    stalled.pieceDelayMs = 20000;
    m_server->Serve(SERVER_PATH, stalled);

    CInternetSession session;
    session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 500);
    std::unique_ptr<CHttpConnection> pConnection = session.GetHttpConnection("127.0.0.1", m_server->Port());
    std::unique_ptr<CHttpFile> pFile = pConnection->OpenRequest(CHttpConnection::HTTP_VERB_GET, SERVER_PATH);
    pFile->SendRequest();
    char buffer[2048];
    const ULONGLONG ullStart = GetTickCount64();
    EXPECT_THROW(pFile->Read(buffer, sizeof buffer), CInternetException);
    EXPECT_LT(GetTickCount64() - ullStart, 10000u);
    EXPECT_THROW(pFile->Read(buffer, sizeof buffer), CInternetException);
    pFile->Close();
    pFile->Close();  // safe to repeat
    m_server->Stop();
}
