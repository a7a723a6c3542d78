// guardee: a process for the process-guard tests, with top-level windows that
// agree to end, refuse, hang or ignore being closed.
//
//   guardee.exe <report-file> <windows> [exit-after-ms]
//
// <windows> has one letter per top-level window, created in this order and
// titled "guardee <index>"; "-" means no window at all:
//   a  visible; agrees to end; destroys itself on WM_CLOSE
//   r  visible; refuses to end (answers WM_QUERYENDSESSION with 0); destroys itself on WM_CLOSE
//   i  visible; agrees to end; ignores WM_CLOSE
//   h  visible; its thread stops handling messages once the window exists
//   n  hidden; agrees to end; destroys itself on WM_CLOSE
//
// Every WM_QUERYENDSESSION and WM_CLOSE is appended to the report file as
// "query <index>" or "close <index>"; "ready" follows once every window
// exists. The process ends by itself, with exit code 3, when the last visible
// a/r/i window is destroyed or after exit-after-ms; whatever happens it ends
// after 60 s with exit code 4.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int kExitByItself = 3;
const int kExitTimeLimit = 4;
const DWORD kTimeLimit = 60000;
const char kClassName[] = "GuardeeWindow";

CRITICAL_SECTION g_reportLock;
const char* g_pszReport = nullptr;
int g_nClosingWindows = 0; // visible windows of the main thread still open

struct WindowInfo {
    int nIndex;
    char chKind;
};

void Report(const char* pszEvent, int nIndex)
{
    char szLine[64];
    const int n = nIndex < 0 ? std::snprintf(szLine, sizeof szLine, "%s\n", pszEvent)
                             : std::snprintf(szLine, sizeof szLine, "%s %d\n", pszEvent, nIndex);
    EnterCriticalSection(&g_reportLock);
    HANDLE h = CreateFileA(g_pszReport, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, szLine, static_cast<DWORD>(n), &written, nullptr);
        CloseHandle(h);
    }
    LeaveCriticalSection(&g_reportLock);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        const CREATESTRUCTA* pCreate = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
    }
    const WindowInfo* pInfo = reinterpret_cast<const WindowInfo*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (pInfo) {
        switch (msg) {
        case WM_QUERYENDSESSION:
            Report("query", pInfo->nIndex);
            return pInfo->chKind == 'r' ? 0 : 1;
        case WM_CLOSE:
            Report("close", pInfo->nIndex);
            if (pInfo->chKind != 'i')
                DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            if (pInfo->chKind != 'n' && pInfo->chKind != 'h' && --g_nClosingWindows == 0)
                PostQuitMessage(kExitByItself);
            return 0;
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreateGuardeeWindow(WindowInfo* pInfo)
{
    char szTitle[32];
    std::snprintf(szTitle, sizeof szTitle, "guardee %d", pInfo->nIndex);
    const DWORD dwStyle = WS_OVERLAPPEDWINDOW | (pInfo->chKind == 'n' ? 0 : WS_VISIBLE);
    return CreateWindowExA(0, kClassName, szTitle, dwStyle, 10 + 20 * pInfo->nIndex, 10, 200, 100,
                           nullptr, nullptr, GetModuleHandleA(nullptr), pInfo);
}

struct HungWindow {
    WindowInfo info;
    HANDLE hCreated;
};

// Creates its window, then never handles a message again.
DWORD WINAPI HungThread(LPVOID pParam)
{
    HungWindow* pHung = static_cast<HungWindow*>(pParam);
    CreateGuardeeWindow(&pHung->info);
    SetEvent(pHung->hCreated);
    Sleep(INFINITE);
    return 0;
}

DWORD WINAPI Watchdog(LPVOID pParam)
{
    const DWORD dwExitAfter = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(pParam));
    if (dwExitAfter != 0 && dwExitAfter < kTimeLimit) {
        Sleep(dwExitAfter);
        ExitProcess(kExitByItself);
    }
    Sleep(kTimeLimit);
    ExitProcess(kExitTimeLimit);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    InitializeCriticalSection(&g_reportLock);
    g_pszReport = argv[1];
    const char* pszWindows = std::strcmp(argv[2], "-") == 0 ? "" : argv[2];
    const DWORD dwExitAfter = argc > 3 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 0;
    CloseHandle(CreateThread(nullptr, 0, Watchdog, reinterpret_cast<LPVOID>(static_cast<UINT_PTR>(dwExitAfter)),
                             0, nullptr));

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);

    const int nWindows = static_cast<int>(std::strlen(pszWindows));
    WindowInfo* pInfos = new WindowInfo[nWindows];
    for (int i = 0; i < nWindows; ++i) {
        pInfos[i].nIndex = i;
        pInfos[i].chKind = pszWindows[i];
        if (pszWindows[i] == 'h') {
            HungWindow* pHung = new HungWindow{pInfos[i], CreateEventA(nullptr, TRUE, FALSE, nullptr)};
            CloseHandle(CreateThread(nullptr, 0, HungThread, pHung, 0, nullptr));
            WaitForSingleObject(pHung->hCreated, INFINITE);
            continue;
        }
        if (pszWindows[i] != 'n')
            ++g_nClosingWindows;
        CreateGuardeeWindow(&pInfos[i]);
    }
    Report("ready", -1);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
