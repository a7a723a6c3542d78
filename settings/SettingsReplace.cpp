// Replacement of the installed settings by the server's copy after an update run.
#include "ui/UpdateDlg.h"

void CUpdateDlg::ReplaceSettingsFile()
{
    // Built with the update run.
}
