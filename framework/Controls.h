// The control classes: thin CWnd objects over a dialog's child windows.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "framework/Wnd.h"

class CButton : public CWnd {
};

class CListBox : public CWnd {
public:
    int AddString(LPCSTR lpszItem) { return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpszItem))); }
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    void GetText(int nIndex, CString& rString) const;
};

class CProgressCtrl : public CWnd {
public:
    int SetPos(int nPos) { return static_cast<int>(SendMessage(PBM_SETPOS, nPos)); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};
