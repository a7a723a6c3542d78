// The wizard dialog as a person sees it: created for real (headless), driven
// through window messages while its modal loop runs.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/support/ModalRun.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/WindowDriver.h"
#include "ui/UpdateDlg.h"

namespace {

const char SETTINGS_THREE_ITEMS[] =
    "[SystemInfo]\nServer=127.0.0.1\nPort=1\nFileList=a.exe,b.exe,c.exe\n"
    "[a.exe]\nCurrentVersion=1.0\n[b.exe]\nCurrentVersion=2.5\n[c.exe]\nCurrentVersion=1.0\n";

}  // namespace

class Dialog : public SettingsFixture {
protected:
    HWND Button(HWND hDlg) { return GetDlgItem(hDlg, IDOK); }
};

TEST_F(Dialog, ShowsTheCatalogueWithInstalledVersions)
{
    WriteSettings(SETTINGS_THREE_ITEMS);
    CUpdateDlg dlg;
    CModalRun run(dlg);
    ASSERT_NE(nullptr, run.Hwnd());

    EXPECT_EQ("Zentrel 1.0", WindowText(run.Hwnd()));
    EXPECT_EQ((std::vector<std::string>{"a.exe 1.0", "b.exe 2.5", "c.exe 1.0"}),
              ListBoxLines(GetDlgItem(run.Hwnd(), IDC_FILE_LIST)));
    EXPECT_EQ("点击下一步查看可用的更新", DlgItemText(run.Hwnd(), IDC_STATUS));
    EXPECT_EQ("下一步(&N)", DlgItemText(run.Hwnd(), IDOK));
    EXPECT_TRUE(DlgItemEnabled(run.Hwnd(), IDOK));
    EXPECT_EQ("取消(&C)", DlgItemText(run.Hwnd(), IDCANCEL));
    EXPECT_EQ(0, ProgressPos(GetDlgItem(run.Hwnd(), IDC_PROGRESS)));
    EXPECT_EQ(GetDlgItem(run.Hwnd(), IDOK), reinterpret_cast<HWND>(dlg.m_btnNext.m_hWnd));
    EXPECT_EQ(reinterpret_cast<LPARAM>(dlg.m_hIcon), SendMessageA(run.Hwnd(), WM_GETICON, ICON_BIG, 0));
}

TEST_F(Dialog, EmptyCatalogueShowsAnEmptyList)
{
    CUpdateDlg dlg;
    CModalRun run(dlg);
    EXPECT_TRUE(ListBoxLines(GetDlgItem(run.Hwnd(), IDC_FILE_LIST)).empty());
}

TEST_F(Dialog, CancelEscapeAndCloseBoxEndTheModalRun)
{
    const struct { const char* how; void (*act)(HWND); } cases[] = {
        {"Cancel button", [](HWND h) { PressButtonAsync(h, IDCANCEL); }},
        {"Esc key", [](HWND h) { PostMessageA(GetDlgItem(h, IDOK), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"close box", [](HWND h) { PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& c : cases) {
        CUpdateDlg dlg;
        CModalRun run(dlg);
        c.act(run.Hwnd());
        ASSERT_TRUE(run.WaitForEnd(5000)) << c.how;
        EXPECT_EQ(IDCANCEL, run.Result()) << c.how;
        EXPECT_FALSE(IsWindow(run.Hwnd())) << c.how;
    }
}

TEST_F(Dialog, FinishCaptionClosesWithOk)
{
    CUpdateDlg dlg;
    CModalRun run(dlg);
    SetWindowTextA(GetDlgItem(run.Hwnd(), IDOK), "完成(&O)");
    PressButtonAsync(run.Hwnd(), IDOK);
    ASSERT_TRUE(run.WaitForEnd(5000));
    EXPECT_EQ(IDOK, run.Result());
}

// Any caption other than the update and finish captions runs the version
// check; with no server listening the check finds nothing newer.
TEST_F(Dialog, OtherCaptionsAndEnterRunTheVersionCheck)
{
    const struct { const char* caption; bool enterKey; } cases[] = {
        {"下一步(&N)", false},
        {"下一步(&N)", true},
        {"更新", false},
        {"完成(&o)", false},
        {"", false},
    };
    for (const auto& c : cases) {
        WriteSettings(SETTINGS_THREE_ITEMS);
        CUpdateDlg dlg;
        CModalRun run(dlg);
        SetWindowTextA(Button(run.Hwnd()), c.caption);
        if (c.enterKey) {
            PostMessageA(Button(run.Hwnd()), WM_KEYDOWN, VK_RETURN, 0);
            // The key is handled by the modal loop; wait for the check's end.
            for (int i = 0; i < 500 && DlgItemText(run.Hwnd(), IDOK) != "更新(&U)"; ++i)
                Sleep(10);
        } else {
            PressButton(run.Hwnd(), IDOK);
        }
        EXPECT_EQ("您现在用的版本已是最新的！", DlgItemText(run.Hwnd(), IDC_STATUS)) << c.caption;
        EXPECT_EQ("更新(&U)", DlgItemText(run.Hwnd(), IDOK)) << c.caption;
        EXPECT_FALSE(DlgItemEnabled(run.Hwnd(), IDOK)) << c.caption;
        EXPECT_FALSE(run.WaitForEnd(0)) << c.caption;
    }
}

TEST_F(Dialog, RefreshControlsBringsTheStatusOnScreen)
{
    CUpdateDlg dlg;
    CModalRun run(dlg);
    dlg.m_strStatus = "一个很长很长很长很长很长很长很长很长很长很长很长很长很长很长的状态";
    SendMessageA(run.Hwnd(), WM_REFRESH_CONTROLS, 0, 0);
    EXPECT_EQ(std::string(dlg.m_strStatus), DlgItemText(run.Hwnd(), IDC_STATUS));
    const LONG style = GetWindowLongA(GetDlgItem(run.Hwnd(), IDC_STATUS), GWL_STYLE);
    EXPECT_EQ(SS_LEFTNOWORDWRAP, style & SS_TYPEMASK);
}
