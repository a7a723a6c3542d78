// The download of one file into a staging file and its swap into place.
#include "ui/UpdateDlg.h"

BOOL CUpdateDlg::FetchFile(CString, CString, CString&)
{
    // Built with the network layer.
    return FALSE;
}
