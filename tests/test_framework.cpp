// The framework layer: texts, arrays, the modal loop's end on the quit
// message, and the default handling of errors that escape a message handler.
#include <gtest/gtest.h>
#include <string>

#include "framework/Afx.h"
#include "tests/support/ModalRun.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowDriver.h"
#include "ui/resource.h"

TEST(String, FindStepsOverDoubleByteCharacters)
{
    const struct { const char* text; char ch; int start; int index; } cases[] = {
        {"a,b", ',', 0, 1},
        {"a,b,c", ',', 2, 3},
        {"abc", ',', 0, -1},
        {"", ',', 0, -1},
        {"\x81,a,", ',', 0, 3},      // lead byte + 0x2C is one character
        {"\x81,\x81,", ',', 0, -1},
        {"升级.exe", '.', 0, 4},
        {"\x81", ',', 0, -1},        // a lone lead byte at the end
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.index, CString(c.text).Find(c.ch, c.start)) << c.text;
}

TEST(String, PiecesAndConcatenation)
{
    CString s("Client.beta.exe");
    EXPECT_EQ("Client", std::string(s.Left(6)));
    EXPECT_EQ("beta.exe", std::string(s.Mid(7)));
    EXPECT_EQ("beta", std::string(s.Mid(7, 4)));
    EXPECT_EQ("exe", std::string(s.Right(3)));
    EXPECT_EQ("", std::string(s.Mid(99)));
    CString t = s;
    t.Delete(0, 7);
    EXPECT_EQ("beta.exe", std::string(t));
    EXPECT_EQ("Client.beta.exe", std::string(s));  // copies are independent
    EXPECT_EQ("a 1.0-->1.2", std::string(CString("a") + " " + "1.0" + "-->" + CString("1.2")));
    CString f;
    f.Format("%s=%d", "Port", 80);
    EXPECT_EQ("Port=80", std::string(f));
}

TEST(Array, KeepsOrderAndValues)
{
    CArray<CString, const CString&> a;
    EXPECT_EQ(0, a.Add("x"));
    EXPECT_EQ(1, a.Add("y"));
    a.SetAt(0, "z");
    ASSERT_EQ(2, a.GetSize());
    EXPECT_EQ("z", std::string(a[0]));
    EXPECT_EQ("y", std::string(a.GetAt(1)));
}

TEST(Exceptions, CarryTheSystemsText)
{
    char szText[1024];
    EXPECT_TRUE(CInternetException(12029).GetErrorMessage(szText, sizeof szText));
    EXPECT_STRNE("", szText);
    EXPECT_TRUE(CFileException(ERROR_ACCESS_DENIED).GetErrorMessage(szText, sizeof szText));
    EXPECT_STRNE("", szText);
    EXPECT_FALSE(CException().GetErrorMessage(szText, sizeof szText));
    EXPECT_STREQ("", szText);
}

namespace {

const UINT WM_THROW_FILE_ERROR = WM_USER + 1;
const UINT WM_THROW_PLAIN_ERROR = WM_USER + 2;
const UINT WM_THROW_ANYTHING = WM_USER + 3;
const UINT WM_DESTROY_DIALOG = WM_USER + 4;

// A dialog over the wizard's template whose handlers raise errors.
class CThrowingDlg : public CDialog {
public:
    CThrowingDlg() : CDialog(IDD_UPDATE_DIALOG) {}
    LRESULT OnFileError(WPARAM, LPARAM) { throw CFileException(ERROR_ACCESS_DENIED); }
    LRESULT OnPlainError(WPARAM, LPARAM) { throw CException(); }
    LRESULT OnAnything(WPARAM, LPARAM) { throw 42; }
    LRESULT OnDestroyDialog(WPARAM, LPARAM) { DestroyWindow(); return 0; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CThrowingDlg, CDialog)
    ON_MESSAGE(WM_THROW_FILE_ERROR, OnFileError)
    ON_MESSAGE(WM_THROW_PLAIN_ERROR, OnPlainError)
    ON_MESSAGE(WM_THROW_ANYTHING, OnAnything)
    ON_MESSAGE(WM_DESTROY_DIALOG, OnDestroyDialog)
END_MESSAGE_MAP()

}  // namespace

TEST(MessageHandlerErrors, ShowAStopBoxAndKeepTheDialogOpen)
{
    char szAccessDenied[1024];
    CFileException(ERROR_ACCESS_DENIED).GetErrorMessage(szAccessDenied, sizeof szAccessDenied);
    const struct { UINT message; std::string text; } cases[] = {
        {WM_THROW_FILE_ERROR, szAccessDenied},
        {WM_THROW_PLAIN_ERROR, "内部应用程序出错。"},
        {WM_THROW_ANYTHING, "内部应用程序出错。"},
    };
    CThrowingDlg dlg;
    CModalRun run(dlg);
    for (const auto& c : cases) {
        PostMessageA(run.Hwnd(), c.message, 0, 0);
        MessageBoxSeen box;
        ASSERT_TRUE(WaitForMessageBox(GetCurrentProcessId(), box, 5000));
        EXPECT_EQ(c.text, box.strText);
        EXPECT_EQ(MB_ICONERROR, box.nIcon);
        EXPECT_EQ("test_framework", box.strCaption);
        AnswerMessageBox(box, IDOK);
        EXPECT_FALSE(run.WaitForEnd(50));
    }
}

TEST(ModalLoop, EndsWhenTheMainWindowIsDestroyed)
{
    CWinApp app;
    CThrowingDlg dlg;
    app.m_pMainWnd = &dlg;
    CModalRun run(dlg);
    SendMessageA(run.Hwnd(), WM_DESTROY_DIALOG, 0, 0);
    ASSERT_TRUE(run.WaitForEnd(5000));
    EXPECT_EQ(-1, run.Result());
    EXPECT_EQ(nullptr, app.m_pMainWnd);
    EXPECT_EQ(nullptr, dlg.m_hWnd);

    // The quit message was taken: a second modal run on a fresh thread and
    // this dialog object works as before.
    CModalRun again(dlg);
    ASSERT_NE(nullptr, again.Hwnd());
    PressButtonAsync(again.Hwnd(), IDCANCEL);
    ASSERT_TRUE(again.WaitForEnd(5000));
    EXPECT_EQ(IDCANCEL, again.Result());
}

// Writes through the stdio file's buffer reach the file whole and in order,
// whatever the mix of small and large pieces; Abort drops what is buffered.
TEST(StdioFile, BufferedWritesReachTheFileOnClose)
{
    CTempDir dir;
    const std::string path = dir / "out.bin";
    std::string expected;
    {
        CStdioFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
        for (int piece = 0; piece < 100; ++piece) {
            const std::string bytes(piece % 3 == 0 ? 2048 : 1000 + piece, static_cast<char>('a' + piece % 26));
            file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
            expected += bytes;
        }
        const std::string large(CStdioFile::BUFFER_SIZE + 5, 'Z');
        file.Write(large.data(), static_cast<UINT>(large.size()));
        expected += large;
        file.Write("end", 3);
        expected += "end";
        file.Close();
    }
    EXPECT_EQ(expected, ReadWholeFile(path));

    CStdioFile aborted;
    ASSERT_TRUE(aborted.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary));
    aborted.Write("dropped", 7);
    aborted.Abort();
    EXPECT_EQ("", ReadWholeFile(path));
}
