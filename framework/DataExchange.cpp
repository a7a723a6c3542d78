#include "framework/DataExchange.h"
#include "framework/Wnd.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd == nullptr)
        rControl.Attach(::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC));
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hControl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (pDX->m_bSaveAndValidate) {
        const int nLength = ::GetWindowTextLengthA(hControl);
        ::GetWindowTextA(hControl, value.GetBuffer(nLength), nLength + 1);
        value.ReleaseBuffer();
    } else {
        ::SetWindowTextA(hControl, value);
    }
}
