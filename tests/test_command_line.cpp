// The command line: the tail the framework hands over, its words, the
// unattended-run switch, and the start-up's one failure.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/UpdateApp.h"
#include "tests/support/WindowDriver.h"

namespace {

std::vector<std::string> WordsOf(const std::string& tail)
{
    CUpdateApp app;
    std::vector<char> buffer(tail.begin(), tail.end());
    buffer.push_back('\0');
    app.m_lpCmdLine = buffer.data();
    CStringArray words;
    words.Add("left over");  // the array is emptied first
    app.SplitCommandLine(words);
    std::vector<std::string> result;
    for (INT_PTR i = 0; i < words.GetSize(); ++i)
        result.push_back(static_cast<LPCSTR>(words[i]));
    return result;
}

std::string Repeat(char c, int n) { return std::string(n, c); }

}  // namespace

TEST(CommandLineTail, FollowsTheProgramPathAndItsBlanks)
{
    const struct { const char* full; const char* tail; } cases[] = {
        {"Update.exe", ""},
        {"Update.exe true", "true"},
        {"C:\\App\\Update.exe   true x", "true x"},
        {"\"C:\\Program Files\\App\\Update.exe\" TRUE", "TRUE"},
        {"\"C:\\a b\\Update.exe\"true", "true"},
        {"Update.exe\t \ttrue", "true"},
    };
    for (const auto& c : cases) {
        std::vector<char> line(c.full, c.full + strlen(c.full) + 1);
        EXPECT_STREQ(c.tail, AfxCommandLineTail(line.data())) << c.full;
    }
}

TEST(SplitCommandLine, WordsOfTheFirst128Bytes)
{
    const std::string longWord = Repeat('a', 128);
    const std::string tail200 = "true " + Repeat('b', 100) + " " + Repeat('c', 94);
    const struct { std::string tail; std::vector<std::string> words; } cases[] = {
        {"", {}},
        {"true", {"true"}},
        {"TRUE", {"TRUE"}},
        {"True extra words", {"True", "extra", "words"}},
        {"true ", {"true", ""}},
        {"truex", {"truex"}},
        {"\"true\"", {"\"true\""}},
        {"true\tmore", {"true\tmore"}},
        {"true  second", {"true", " second"}},
        {"a  ", {"a", " "}},
        {longWord, {}},
        {Repeat('a', 127), {Repeat('a', 127)}},
        {longWord + " true", {}},
        {tail200, {"true", Repeat('b', 100)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.words, WordsOf(c.tail)) << "tail: " << c.tail;
}

namespace {

int WINAPI FailingSocketStartup(WORD, LPWSADATA)
{
    return WSASYSNOTREADY;
}

// Records the captions of the windows this thread creates.
thread_local std::vector<std::string> t_created;

LRESULT CALLBACK RecordCreation(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HCBT_CREATEWND) {
        const CBT_CREATEWNDA* pCreate = reinterpret_cast<CBT_CREATEWNDA*>(lParam);
        if (pCreate->lpcs->lpszName && !IS_INTRESOURCE(pCreate->lpcs->lpszName))
            t_created.push_back(pCreate->lpcs->lpszName);
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

}  // namespace

TEST(Startup, SocketFailureShowsOneBoxAndNoDialog)
{
    CUpdateApp app;
    char tail[] = "";
    app.m_lpCmdLine = tail;
    AfxSetSocketStartup(FailingSocketStartup);
    HHOOK hHook = SetWindowsHookExA(WH_CBT, RecordCreation, nullptr, GetCurrentThreadId());
    t_created.clear();

    BOOL bResult;
    std::vector<MessageBoxSeen> boxes;
    {
        CMessageBoxAnswerer answerer(GetCurrentProcessId(), IDOK);
        bResult = app.InitInstance();
        boxes = answerer.Boxes();
    }
    UnhookWindowsHookEx(hHook);
    AfxSetSocketStartup(nullptr);

    EXPECT_FALSE(bResult);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Windows 通信端口初始化失败。", boxes[0].strText);
    EXPECT_EQ(std::string(app.m_pszAppName), boxes[0].strCaption);
    EXPECT_EQ("test_command_line", boxes[0].strCaption);
    for (const std::string& caption : t_created)
        EXPECT_NE("Zentrel 1.0", caption);
}
