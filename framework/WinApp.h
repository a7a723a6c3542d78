// CWinApp: the one application object. Its constructor makes it the current
// application; the entry point (AppMain.cpp) fills in the instance handle and
// the command-line tail, then calls InitInstance.
#pragma once
#include <windows.h>
#include "framework/CmdTarget.h"
#include "framework/String.h"

class CWnd;

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

class CWinApp : public CCmdTarget {
public:
    // lpszAppName null: the application is named after the executable's base name.
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    // Runs the message loop until the quit message; returns ExitInstance().
    virtual int Run();
    // The process's exit code: m_nExitCode.
    virtual int ExitInstance();

    // Default handler of the help command: the program ships no help file.
    void OnHelp();

    HINSTANCE m_hInstance = nullptr;
    LPSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    LPCSTR m_pszAppName = nullptr;
    CWnd* m_pMainWnd = nullptr;
    // The parameter of the last quit message retrieved, unless the program sets it.
    int m_nExitCode = 0;

private:
    CString m_strAppName;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The application's name, or the executable's base name when there is no application.
LPCSTR AfxGetAppName();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
// Called by the modal loop when it retrieves the quit message.
void AfxRecordQuit(WPARAM wParam);

int AfxWinMain(HINSTANCE hInstance, int nCmdShow);
