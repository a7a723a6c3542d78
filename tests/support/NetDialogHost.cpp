#include "tests/support/NetDialogHost.h"
#include "tests/support/ModalRun.h"
#include "tests/support/WindowDriver.h"

#include <stdexcept>

namespace {

const UINT WM_NET_RUN_TASK = WM_APP + 0x371;
const UINT WM_NET_COUNTED = WM_APP + 0x372;

struct TaskCall {
    CNetDialogHost::Task task;
    std::exception_ptr error;
    HANDLE hDone;
};

// The progress bar's positions and the status line's texts, recorded by
// subclassing the two controls (one hosted dialog at a time).
std::vector<int> g_positions;
std::vector<std::string> g_statuses;
WNDPROC g_pfnProgressProc = nullptr;
WNDPROC g_pfnStatusProc = nullptr;

LRESULT CALLBACK RecordingProgressProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETPOS)
        g_positions.push_back(static_cast<int>(wParam));
    return CallWindowProcA(g_pfnProgressProc, hWnd, message, wParam, lParam);
}

LRESULT CALLBACK RecordingStatusProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTEXT && lParam)
        g_statuses.push_back(reinterpret_cast<LPCSTR>(lParam));
    return CallWindowProcA(g_pfnStatusProc, hWnd, message, wParam, lParam);
}

WNDPROC Subclass(HWND hWnd, WNDPROC pfnProc)
{
    return reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pfnProc)));
}

}  // namespace

class CNetDialogHost::CHostedDlg : public CUpdateDlg {
public:
    TaskCall* m_pPending = nullptr;
    volatile LONG m_nCounted = 0;

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override
    {
        if (message == WM_NET_RUN_TASK) {
            TaskCall* pCall = reinterpret_cast<TaskCall*>(lParam);
            try {
                pCall->task(*this);
            } catch (...) {
                pCall->error = std::current_exception();
            }
            SetEvent(pCall->hDone);
            *pResult = 0;
            return TRUE;
        }
        if (message == WM_NET_COUNTED) {
            InterlockedIncrement(&m_nCounted);
            *pResult = 0;
            return TRUE;
        }
        return CUpdateDlg::OnWndMsg(message, wParam, lParam, pResult);
    }
};

CNetDialogHost::CNetDialogHost() : m_pDlg(std::make_unique<CHostedDlg>())
{
    m_pRun = std::make_unique<CModalRun>(*m_pDlg);
    if (!m_pRun->Hwnd())
        throw std::runtime_error("the dialog did not come up");
    Run([](CUpdateDlg& dlg) {
        g_positions.clear();
        g_statuses.clear();
        g_pfnProgressProc = Subclass(dlg.m_progress.GetSafeHwnd(), RecordingProgressProc);
        g_pfnStatusProc = Subclass(GetDlgItem(dlg.GetSafeHwnd(), IDC_STATUS), RecordingStatusProc);
    });
}

CNetDialogHost::~CNetDialogHost()
{
    // Ends the modal run directly: in an unattended run Cancel only asks the
    // running step to stop.
    if (!m_pRun->WaitForEnd(0) && IsWindow(Hwnd()) && !m_pDlg->m_pPending) {
        try {
            Run([](CUpdateDlg& dlg) { dlg.EndDialog(IDCANCEL); });
        } catch (...) {
        }
    }
    m_pRun.reset();
}

void CNetDialogHost::Start(const Task& task)
{
    TaskCall* pCall = new TaskCall{ task, nullptr, CreateEventA(nullptr, TRUE, FALSE, nullptr) };
    m_pDlg->m_pPending = pCall;
    PostMessageA(Hwnd(), WM_NET_RUN_TASK, 0, reinterpret_cast<LPARAM>(pCall));
}

void CNetDialogHost::Finish(DWORD nTimeoutMs)
{
    std::unique_ptr<TaskCall> pCall(m_pDlg->m_pPending);
    m_pDlg->m_pPending = nullptr;
    if (!pCall)
        return;
    if (WaitForSingleObject(pCall->hDone, nTimeoutMs) != WAIT_OBJECT_0) {
        pCall.release();  // still running on the dialog's thread
        throw std::runtime_error("the task on the dialog's thread did not finish in time");
    }
    CloseHandle(pCall->hDone);
    if (pCall->error)
        std::rethrow_exception(pCall->error);
}

void CNetDialogHost::Run(const Task& task)
{
    Start(task);
    Finish();
}

CUpdateDlg& CNetDialogHost::Dlg() { return *m_pDlg; }
HWND CNetDialogHost::Hwnd() const { return m_pRun->Hwnd(); }
std::string CNetDialogHost::Status() const { return DlgItemText(Hwnd(), IDC_STATUS); }
std::vector<std::string> CNetDialogHost::ListLines() const { return ListBoxLines(GetDlgItem(Hwnd(), IDC_FILE_LIST)); }
std::string CNetDialogHost::ButtonCaption() const { return DlgItemText(Hwnd(), IDOK); }
bool CNetDialogHost::ButtonEnabled() const { return DlgItemEnabled(Hwnd(), IDOK); }

std::vector<int> CNetDialogHost::ProgressPositions() const
{
    std::vector<int> positions;
    const_cast<CNetDialogHost*>(this)->Run([&](CUpdateDlg&) { positions = g_positions; });
    return positions;
}

std::vector<std::string> CNetDialogHost::StatusHistory() const
{
    std::vector<std::string> statuses;
    const_cast<CNetDialogHost*>(this)->Run([&](CUpdateDlg&) { statuses = g_statuses; });
    return statuses;
}

void CNetDialogHost::PostCountedMessages(int n)
{
    for (int i = 0; i < n; ++i)
        PostMessageA(Hwnd(), WM_NET_COUNTED, 0, 0);
}

int CNetDialogHost::CountedMessagesDispatched() const
{
    return static_cast<int>(m_pDlg->m_nCounted);
}
