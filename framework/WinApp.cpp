#include "framework/WinApp.h"
#include "framework/CommandLine.h"
#include "framework/Wnd.h"

#include <mbstring.h>

namespace {

CWinApp* g_pApp = nullptr;

CString ExecutableBaseName()
{
    char szPath[MAX_PATH] = "";
    const DWORD n = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return CString();
    unsigned char* pName = reinterpret_cast<unsigned char*>(szPath);
    if (unsigned char* pSlash = _mbsrchr(pName, '\\'))
        pName = pSlash + 1;
    if (unsigned char* pDot = _mbsrchr(pName, '.'))
        *pDot = '\0';
    return CString(reinterpret_cast<LPCSTR>(pName));
}

}  // namespace

CWinApp::CWinApp(LPCSTR lpszAppName)
{
    if (g_pApp == nullptr)
        g_pApp = this;
    m_hInstance = GetModuleHandleA(nullptr);
    m_strAppName = lpszAppName ? CString(lpszAppName) : ExecutableBaseName();
    m_pszAppName = m_strAppName;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (msg.message == WM_QUIT)
        AfxRecordQuit(msg.wParam);
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

void CWinApp::OnHelp()
{
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

CWnd* AfxGetMainWnd()
{
    return g_pApp ? g_pApp->m_pMainWnd : nullptr;
}

LPCSTR AfxGetAppName()
{
    static const CString s_strFallback = ExecutableBaseName();
    return g_pApp ? g_pApp->m_pszAppName : static_cast<LPCSTR>(s_strFallback);
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_pApp ? g_pApp->m_hInstance : GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

void AfxRecordQuit(WPARAM wParam)
{
    if (g_pApp)
        g_pApp->m_nExitCode = static_cast<int>(wParam);
}

int AfxWinMain(HINSTANCE hInstance, int nCmdShow)
{
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return -1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = AfxCommandLineTail(GetCommandLineA());
    pApp->m_nCmdShow = nCmdShow;
    if (!pApp->InitInstance())
        return pApp->ExitInstance();
    return pApp->Run();
}
