#include "framework/WaitCursor.h"

#include <windows.h>

namespace {
thread_local int t_nWaitCount = 0;
thread_local HCURSOR t_hRestoreCursor = nullptr;
}

void AfxDoWaitCursor(int nCode)
{
    if (nCode > 0 && t_nWaitCount++ == 0)
        t_hRestoreCursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    else if (nCode == 0 && t_nWaitCount > 0)
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
    else if (nCode < 0 && t_nWaitCount > 0 && --t_nWaitCount == 0)
        SetCursor(t_hRestoreCursor ? t_hRestoreCursor : LoadCursor(nullptr, IDC_ARROW));
}
