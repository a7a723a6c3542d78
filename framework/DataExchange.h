// Data exchange between a dialog's members and its controls.
#pragma once
#include <windows.h>
#include "framework/String.h"

class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate;  // TRUE: controls to members
    CWnd* m_pDlgWnd;
};

// Binds the control nIDC to rControl the first time; later exchanges leave it.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// Moves the control's text into value (save) or value into the control.
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
