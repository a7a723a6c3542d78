// The version check: fetches the server's settings copy and marks newer files.
#include "ui/UpdateDlg.h"

BOOL CUpdateDlg::CheckVersions()
{
    // Built with the network layer.
    return FALSE;
}
