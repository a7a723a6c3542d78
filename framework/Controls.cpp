#include "framework/Controls.h"

void CListBox::GetText(int nIndex, CString& rString) const
{
    const int nLength = static_cast<int>(SendMessage(LB_GETTEXTLEN, nIndex));
    if (nLength == LB_ERR) {
        rString.Empty();
        return;
    }
    SendMessage(LB_GETTEXT, nIndex, reinterpret_cast<LPARAM>(rString.GetBuffer(nLength)));
    rString.ReleaseBuffer(nLength);
}
