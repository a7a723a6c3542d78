#include "app/UpdateApp.h"
#include "app/InstanceLock.h"
#include "ui/UpdateDlg.h"

#include <mbstring.h>
#include <cstring>
#include <vector>

namespace {
// Only the first bytes of the command-line tail are scanned for words.
const int COMMAND_LINE_SCAN_LIMIT = 128;
// How long a second interactive start looks for the running wizard's window.
const DWORD WIZARD_SEARCH_MS = 3000;
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
    }

    // One updater per installation: a second one starts no update. A person
    // gets the running wizard in front; a scheduled run ends at once.
    CInstanceLock lock(dlg.m_strAppDir);
    if (!lock.Acquired()) {
        m_pMainWnd = nullptr;
        if (dlg.m_bAutoMode)
            m_nExitCode = EXIT_ALREADY_RUNNING;
        else
            lock.ActivateRunningWizard(WIZARD_SEARCH_MS);
        return FALSE;
    }

    dlg.DoModal();
    if (m_pMainWnd == &dlg)
        m_pMainWnd = nullptr;
    // The framework's exit step returns m_nExitCode as the process's exit
    // code: the unattended run's outcome; an interactive run ends with 0.
    m_nExitCode = dlg.m_bAutoMode ? dlg.m_nExitCode : EXIT_DONE;
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
