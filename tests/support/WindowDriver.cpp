#include "tests/support/WindowDriver.h"

#include <commctrl.h>
#include <cstring>

namespace {

const int MESSAGE_BOX_TEXT_ID = 0xFFFF;  // the static that holds a message box's text
const DWORD POLL_INTERVAL_MS = 10;

bool IsMessageBox(HWND hWnd)
{
    char szClass[64] = "";
    GetClassNameA(hWnd, szClass, sizeof szClass);
    return lstrcmpA(szClass, "#32770") == 0 && GetDlgItem(hWnd, MESSAGE_BOX_TEXT_ID) != nullptr;
}

struct FindRequest {
    DWORD dwProcessId;
    LPCSTR lpszCaption;
    LPCSTR lpszClass;
    bool bAllowMessageBox;
    bool bWantMessageBox;
    HWND hFound;
};

BOOL CALLBACK FindProc(HWND hWnd, LPARAM lParam)
{
    FindRequest* pRequest = reinterpret_cast<FindRequest*>(lParam);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hWnd, &dwPid);
    if (pRequest->dwProcessId != 0 && dwPid != pRequest->dwProcessId)
        return TRUE;
    if (!IsWindowVisible(hWnd))
        return TRUE;
    const bool bMessageBox = IsMessageBox(hWnd);
    if (pRequest->bWantMessageBox ? !bMessageBox : (bMessageBox && !pRequest->bAllowMessageBox))
        return TRUE;
    if (pRequest->lpszClass) {
        char szClass[64] = "";
        GetClassNameA(hWnd, szClass, sizeof szClass);
        if (lstrcmpA(szClass, pRequest->lpszClass) != 0)
            return TRUE;
    }
    if (pRequest->lpszCaption && WindowText(hWnd) != pRequest->lpszCaption)
        return TRUE;
    pRequest->hFound = hWnd;
    return FALSE;
}

HWND PollForWindow(FindRequest request, DWORD nTimeoutMs)
{
    const DWORD dwStart = GetTickCount();
    for (;;) {
        request.hFound = nullptr;
        EnumWindows(FindProc, reinterpret_cast<LPARAM>(&request));
        if (request.hFound || GetTickCount() - dwStart >= nTimeoutMs)
            return request.hFound;
        Sleep(POLL_INTERVAL_MS);
    }
}

UINT IconOfBox(HWND hBox)
{
    // The box's icon static holds one of the system icons.
    HWND hIcon = GetDlgItem(hBox, 0x0440);  // stc1
    if (!hIcon)
        return 0;
    HICON h = reinterpret_cast<HICON>(SendMessageA(hIcon, STM_GETICON, 0, 0));
    if (h == LoadIcon(nullptr, IDI_HAND)) return MB_ICONERROR;
    if (h == LoadIcon(nullptr, IDI_EXCLAMATION)) return MB_ICONWARNING;
    if (h == LoadIcon(nullptr, IDI_ASTERISK)) return MB_ICONINFORMATION;
    if (h == LoadIcon(nullptr, IDI_QUESTION)) return MB_ICONQUESTION;
    return 0;
}

}  // namespace

HWND WaitForWindow(DWORD dwProcessId, LPCSTR lpszCaption, DWORD nTimeoutMs, LPCSTR lpszClass,
                   bool bAllowMessageBox)
{
    return PollForWindow({dwProcessId, lpszCaption, lpszClass, bAllowMessageBox, false, nullptr}, nTimeoutMs);
}

bool WaitForWindowGone(HWND hWnd, DWORD nTimeoutMs)
{
    const DWORD dwStart = GetTickCount();
    while (IsWindow(hWnd)) {
        if (GetTickCount() - dwStart >= nTimeoutMs)
            return false;
        Sleep(POLL_INTERVAL_MS);
    }
    return true;
}

std::string WindowText(HWND hWnd)
{
    char szText[2048] = "";
    SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof szText, reinterpret_cast<LPARAM>(szText),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return szText;
}

std::string DlgItemText(HWND hDlg, int nID)
{
    return WindowText(GetDlgItem(hDlg, nID));
}

bool DlgItemEnabled(HWND hDlg, int nID)
{
    return IsWindowEnabled(GetDlgItem(hDlg, nID)) != FALSE;
}

// The lines are read as Unicode and converted: across processes Wine hands
// LB_GETTEXT of an ANSI caller the control's wide text unconverted.
std::vector<std::string> ListBoxLines(HWND hListBox)
{
    std::vector<std::string> lines;
    const int nCount = static_cast<int>(SendMessageW(hListBox, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < nCount; ++i) {
        const int nLength = static_cast<int>(SendMessageW(hListBox, LB_GETTEXTLEN, i, 0));
        std::vector<wchar_t> wide(nLength > 0 ? nLength + 1 : 1, L'\0');
        SendMessageW(hListBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
        wide.back() = L'\0';
        const int nBytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
        std::string line(nBytes > 0 ? nBytes : 1, '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, &line[0], nBytes, nullptr, nullptr);
        line.resize(std::strlen(line.c_str()));
        lines.push_back(line);
    }
    return lines;
}

int ProgressPos(HWND hProgress)
{
    return static_cast<int>(SendMessageA(hProgress, PBM_GETPOS, 0, 0));
}

void PressButton(HWND hDlg, int nID)
{
    SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nID)));
}

void PressButtonAsync(HWND hDlg, int nID)
{
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nID)));
}

bool WaitForMessageBox(DWORD dwProcessId, MessageBoxSeen& box, DWORD nTimeoutMs)
{
    HWND hBox = PollForWindow({dwProcessId, nullptr, nullptr, true, true, nullptr}, nTimeoutMs);
    if (!hBox)
        return false;
    box.hWnd = hBox;
    box.strCaption = WindowText(hBox);
    box.strText = DlgItemText(hBox, MESSAGE_BOX_TEXT_ID);
    box.nIcon = IconOfBox(hBox);
    return true;
}

void AnswerMessageBox(const MessageBoxSeen& box, int nID)
{
    PostMessageA(box.hWnd, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), 0);
    WaitForWindowGone(box.hWnd, 5000);
}

CMessageBoxAnswerer::CMessageBoxAnswerer(DWORD dwProcessId, int nAnswer)
    : m_dwProcessId(dwProcessId), m_nAnswer(nAnswer)
{
    InitializeCriticalSection(&m_lock);
    m_hStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

CMessageBoxAnswerer::~CMessageBoxAnswerer()
{
    SetEvent(m_hStop);
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    CloseHandle(m_hStop);
    DeleteCriticalSection(&m_lock);
}

std::vector<MessageBoxSeen> CMessageBoxAnswerer::Boxes() const
{
    EnterCriticalSection(&m_lock);
    std::vector<MessageBoxSeen> boxes = m_boxes;
    LeaveCriticalSection(&m_lock);
    return boxes;
}

DWORD WINAPI CMessageBoxAnswerer::ThreadProc(LPVOID pParam)
{
    CMessageBoxAnswerer* pThis = static_cast<CMessageBoxAnswerer*>(pParam);
    while (WaitForSingleObject(pThis->m_hStop, POLL_INTERVAL_MS) == WAIT_TIMEOUT) {
        MessageBoxSeen box;
        if (!WaitForMessageBox(pThis->m_dwProcessId, box, 0))
            continue;
        EnterCriticalSection(&pThis->m_lock);
        pThis->m_boxes.push_back(box);
        LeaveCriticalSection(&pThis->m_lock);
        AnswerMessageBox(box, pThis->m_nAnswer);
    }
    return 0;
}
