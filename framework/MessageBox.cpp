#include "framework/MessageBox.h"
#include "framework/String.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"

namespace {

// The box is owned by the main window when that window belongs to the calling
// thread, so that it is modal to it; otherwise it has no owner.
HWND MessageBoxOwner()
{
    CWnd* pMainWnd = AfxGetMainWnd();
    HWND hWnd = pMainWnd ? pMainWnd->GetSafeHwnd() : nullptr;
    if (hWnd && IsWindow(hWnd) && GetWindowThreadProcessId(hWnd, nullptr) == GetCurrentThreadId())
        return hWnd;
    return nullptr;
}

}  // namespace

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT /*nIDHelp*/)
{
    return MessageBoxA(MessageBoxOwner(), lpszText, AfxGetAppName(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp)
{
    char szText[512] = "";
    LoadStringA(AfxGetResourceHandle(), nIDPrompt, szText, sizeof szText);
    return AfxMessageBox(szText, nType, nIDHelp == (UINT)-1 ? nIDPrompt : nIDHelp);
}
