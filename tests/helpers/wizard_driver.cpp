// wizard_driver: presses through the update wizard of another process the
// way a person would, one step per call, for the main job's screenshots.
//
//   wizard_driver.exe wait     waits until the wizard window is shown
//   wizard_driver.exe press    presses the wizard button and waits until the
//                              step has ended (the caption changed or the
//                              wizard is gone)
//
// Exit code 0 on success, 1 when the wizard did not appear or the step did
// not end within 60 s, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kCaption[] = "Zentrel 1.0";
const DWORD kTimeout = 60000;

HWND FindWizard()
{
    HWND hWnd = FindWindowA("#32770", kCaption);
    return hWnd && IsWindowVisible(hWnd) ? hWnd : nullptr;
}

HWND WaitForWizard()
{
    const DWORD dwStart = GetTickCount();
    for (;;) {
        if (HWND hWnd = FindWizard())
            return hWnd;
        if (GetTickCount() - dwStart > kTimeout)
            return nullptr;
        Sleep(50);
    }
}

std::string ButtonCaption(HWND hDlg)
{
    char szText[128] = "";
    SendMessageTimeoutA(GetDlgItem(hDlg, IDOK), WM_GETTEXT, sizeof szText, reinterpret_cast<LPARAM>(szText),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return szText;
}

int Press()
{
    HWND hDlg = WaitForWizard();
    if (hDlg == nullptr)
        return 1;
    const std::string before = ButtonCaption(hDlg);
    // Posted: the step runs in the wizard's own time, as after a click.
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDOK)));
    const DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < kTimeout) {
        if (!IsWindow(hDlg) || !IsWindowVisible(hDlg) || ButtonCaption(hDlg) != before)
            return 0;
        Sleep(50);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "wait") == 0)
        return WaitForWizard() ? 0 : 1;
    if (argc == 2 && std::strcmp(argv[1], "press") == 0)
        return Press();
    std::fprintf(stderr, "usage: wizard_driver.exe wait|press\n");
    return 2;
}
