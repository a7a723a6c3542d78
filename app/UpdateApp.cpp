#include "app/UpdateApp.h"
#include "ui/UpdateDlg.h"

#include <mbstring.h>
#include <cstring>
#include <vector>

namespace {
// Only the first bytes of the command-line tail are scanned for words.
const int COMMAND_LINE_SCAN_LIMIT = 128;
}

CUpdateApp::CUpdateApp()
{
}

CUpdateApp::~CUpdateApp()
{
}

BEGIN_MESSAGE_MAP(CUpdateApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

BOOL CUpdateApp::InitInstance()
{
    if (!AfxSocketInit()) {
        AfxMessageBox(IDS_SOCKETS_INIT_FAILED, MB_OK);
        return FALSE;
    }
    AfxEnableControlContainer();

    CUpdateDlg dlg(nullptr);
    m_pMainWnd = &dlg;
    {
        CStringArray words;
        SplitCommandLine(words);
        if (words.GetSize() >= 1 &&
            _mbsicmp(reinterpret_cast<const unsigned char*>(static_cast<LPCSTR>(words[0])),
                     reinterpret_cast<const unsigned char*>("true")) == 0)
            dlg.m_bAutoMode = true;
        dlg.DoModal();
    }
    if (m_pMainWnd == &dlg)
        m_pMainWnd = nullptr;
    return FALSE;
}

// Splits the tail at single spaces. Only the space byte separates words; the
// byte after a space is never itself taken as a separator, so two spaces give
// a word that begins with a space. A word is stored only when the space or
// the end that closes it lies within the first 128 bytes.
void CUpdateApp::SplitCommandLine(CStringArray& words)
{
    words.RemoveAll();
    LPCSTR lpszTail = AfxGetApp()->m_lpCmdLine;
    if (lpszTail == nullptr || *lpszTail == '\0')
        return;

    std::vector<char> buffer(lpszTail, lpszTail + std::strlen(lpszTail) + 1);
    int nWordStart = 0;
    for (int i = 0; i < COMMAND_LINE_SCAN_LIMIT; ++i) {
        if (buffer[i] == ' ') {
            buffer[i] = '\0';
            words.Add(CString(&buffer[nWordStart]));
            ++i;
            nWordStart = i;
        }
        if (buffer[i] == '\0') {
            words.Add(CString(&buffer[nWordStart]));
            return;
        }
    }
}
