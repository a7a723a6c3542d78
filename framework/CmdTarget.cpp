#include "framework/CmdTarget.h"
#include "framework/WaitCursor.h"

BOOL CCmdTarget::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

void CCmdTarget::BeginWaitCursor()
{
    AfxDoWaitCursor(1);
}

void CCmdTarget::EndWaitCursor()
{
    AfxDoWaitCursor(-1);
}
