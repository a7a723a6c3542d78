// The update run over every marked catalogue item.
#include "ui/UpdateDlg.h"

void CUpdateDlg::RunUpdate()
{
    // Built with the update run.
}
