// Drives real windows the way a person would, through window messages: finds
// a process's dialog and message boxes, reads list lines, texts and button
// states, presses buttons and answers boxes. Works in-process and across
// processes (the messages used are marshalled by the system).
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// A visible top-level window of the process (0: any process) with this exact
// caption (nullptr: any) and window class (nullptr: any), or nullptr after
// nTimeoutMs. Message boxes are never returned unless bAllowMessageBox.
HWND WaitForWindow(DWORD dwProcessId, LPCSTR lpszCaption, DWORD nTimeoutMs,
                   LPCSTR lpszClass = "#32770", bool bAllowMessageBox = false);
// Waits until the window is gone (or the time-out passes); true when gone.
bool WaitForWindowGone(HWND hWnd, DWORD nTimeoutMs);

std::string WindowText(HWND hWnd);
std::string DlgItemText(HWND hDlg, int nID);
bool DlgItemEnabled(HWND hDlg, int nID);
std::vector<std::string> ListBoxLines(HWND hListBox);
int ProgressPos(HWND hProgress);

// A button press as a click: the dialog's handler runs before PressButton
// returns; PressButtonAsync only posts it (for handlers that show boxes).
void PressButton(HWND hDlg, int nID);
void PressButtonAsync(HWND hDlg, int nID);

struct MessageBoxSeen {
    HWND hWnd = nullptr;
    std::string strCaption;
    std::string strText;
    UINT nIcon = 0;  // MB_ICONERROR, MB_ICONWARNING, ... when recognisable; 0 otherwise
};
// A message box shown by the process (0: any); false after nTimeoutMs.
bool WaitForMessageBox(DWORD dwProcessId, MessageBoxSeen& box, DWORD nTimeoutMs);
// Presses the box's button nID (IDOK, IDCANCEL, ...) and waits until it is gone.
void AnswerMessageBox(const MessageBoxSeen& box, int nID);
// Answers every box the process shows with nAnswer on a thread of its own,
// recording each, until the object goes.
class CMessageBoxAnswerer {
public:
    CMessageBoxAnswerer(DWORD dwProcessId, int nAnswer);
    ~CMessageBoxAnswerer();
    CMessageBoxAnswerer(const CMessageBoxAnswerer&) = delete;
    CMessageBoxAnswerer& operator=(const CMessageBoxAnswerer&) = delete;
    // The boxes answered so far.
    std::vector<MessageBoxSeen> Boxes() const;

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);
    DWORD m_dwProcessId;
    int m_nAnswer;
    HANDLE m_hStop;
    HANDLE m_hThread;
    mutable CRITICAL_SECTION m_lock;
    std::vector<MessageBoxSeen> m_boxes;
};
