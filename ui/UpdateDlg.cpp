#include "ui/UpdateDlg.h"
#include "settings/SettingsFile.h"

#include <mbstring.h>

const char CAPTION_NEXT[] = "下一步(&N)";
const char CAPTION_UPDATE[] = "更新(&U)";
const char CAPTION_FINISH[] = "完成(&O)";

namespace {

const char INITIAL_STATUS[] = "点击下一步查看可用的更新";
const DWORD REQUEST_FLAGS = 0x20200010;  // EXISTING_CONNECT | NO_AUTO_REDIRECT | NEED_FILE

// The system's temporary directory, ending with a backslash; empty when its
// path does not fit a MAX_PATH buffer.
CString TempDirectory()
{
    char szPath[MAX_PATH] = "";
    const DWORD n = GetTempPathA(MAX_PATH, szPath);
    return (n > 0 && n < MAX_PATH) ? CString(szPath) : CString();
}

// The executable's directory without its trailing backslash; empty when the
// path holds no backslash or does not fit a MAX_PATH buffer.
CString ExecutableDirectory()
{
    char szPath[MAX_PATH] = "";
    const DWORD n = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return CString();
    unsigned char* pSlash = _mbsrchr(reinterpret_cast<unsigned char*>(szPath), '\\');
    if (pSlash == nullptr)
        return CString();
    *pSlash = '\0';
    return CString(szPath);
}

}  // namespace

CUpdateDlg::CUpdateDlg(CWnd* pParent)
    : CDialog(IDD, pParent), m_bAutoMode(false), m_nPort(0), m_hIcon(nullptr), m_dwRequestFlags(0),
      m_bServerUnreachable(FALSE), m_bCheckFailed(FALSE), m_bSignatureFailed(FALSE), m_bRunComplete(FALSE),
      m_nExitCode(EXIT_DONE), m_bStepRunning(FALSE), m_lStopRequested(0), m_hWorker(nullptr)
{
    m_strStatus = INITIAL_STATUS;
    m_hIcon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_strTempDir = TempDirectory();
    m_dwRequestFlags = REQUEST_FLAGS;
    m_strAppDir = ExecutableDirectory();

    const CString strSettings = InstalledSettingsPath(m_strAppDir);
    m_strServer = ReadSetting("SystemInfo", "Server", DEFAULT_SERVER, SETTINGS_SERVER_BUFFER, strSettings);
    m_nPort = PortFromText(ReadSetting("SystemInfo", "Port", DEFAULT_PORT, SETTINGS_PORT_BUFFER, strSettings));
    m_strUpdateRoot = ReadSetting("Update", "UpdateInfo", DEFAULT_UPDATE_ROOT, SETTINGS_UPDATEINFO_BUFFER, strSettings);
    m_strVersionPath = m_strUpdateRoot + "/Update.zip";
    m_bAutoMode = false;
}

// The worker uses this object until it ends: if it still runs (the modal run
// ended some other way), it is asked to stop and waited for, while the
// messages it sends are still taken.
CUpdateDlg::~CUpdateDlg()
{
    if (m_hWorker == nullptr)
        return;
    RequestStop();
    while (MsgWaitForMultipleObjects(1, &m_hWorker, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(m_hWorker);
}

void CUpdateDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDOK, m_btnNext);
    DDX_Control(pDX, IDC_FILE_LIST, m_listFiles);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Text(pDX, IDC_STATUS, m_strStatus);
}

BEGIN_MESSAGE_MAP(CUpdateDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_MESSAGE(WM_REFRESH_CONTROLS, OnRefreshControls)
    ON_MESSAGE(WM_CLOSE_WIZARD, OnCloseWizard)
END_MESSAGE_MAP()

BOOL CUpdateDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    LoadFileList();

    const INT_PTR nCount = m_arrFiles.GetSize();
    m_listFiles.ResetContent();
    for (INT_PTR i = 0; i < nCount; ++i) {
        const UpdateFileInfo& info = m_arrFiles[i];
        m_listFiles.AddString(info.strLocalFile + " " + info.strLocalVersion);
    }

    if (m_bAutoMode && m_hWorker == nullptr) {
        m_hWorker = CreateThread(nullptr, 0, UpdateThreadProc, this, 0, nullptr);
        if (m_hWorker == nullptr) {
            // Without a worker nothing would ever close the dialog.
            m_nExitCode = EXIT_FAILED;
            PostMessage(WM_CLOSE_WIZARD, 0, 0);
        }
    }
    return TRUE;
}

namespace {
// Marks a step as running for its whole length, whichever way it ends.
class CStepScope {
public:
    explicit CStepScope(BOOL& bRunning) : m_bRunning(bRunning) { m_bRunning = TRUE; }
    ~CStepScope() { m_bRunning = FALSE; }
    CStepScope(const CStepScope&) = delete;
    CStepScope& operator=(const CStepScope&) = delete;

private:
    BOOL& m_bRunning;
};
}  // namespace

// The wizard button: its caption names the step that a press runs. One step
// at a time: a press that arrives while a step runs (through the download's
// message pump) is ignored, and so is every press during an unattended run.
void CUpdateDlg::OnOK()
{
    if (m_bAutoMode || m_bStepRunning)
        return;
    CStepScope step(m_bStepRunning);

    CString strCaption;
    m_btnNext.GetWindowText(strCaption);
    const unsigned char* pszCaption = reinterpret_cast<const unsigned char*>(static_cast<LPCSTR>(strCaption));

    if (_mbscmp(pszCaption, reinterpret_cast<const unsigned char*>(CAPTION_UPDATE)) == 0)
        RunUpdate();
    else if (_mbscmp(pszCaption, reinterpret_cast<const unsigned char*>(CAPTION_FINISH)) == 0)
        CDialog::OnOK();
    else
        CheckVersions();
}

// Cancel, the Esc key and the close box. While a step runs, or during an
// unattended run, the dialog disappears at once and the step is asked to stop
// at its next safe point. An interactive run then ends when the step returns
// to the modal loop; an unattended one when the worker has closed the dialog.
void CUpdateDlg::OnCancel()
{
    if (m_bAutoMode || m_bStepRunning) {
        ShowWindow(SW_HIDE);
        RequestStop();
        if (m_bAutoMode)
            return;
    }
    CDialog::OnCancel();
}

// Minimised: paint the icon in the middle of the client area.
void CUpdateDlg::OnPaint()
{
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

        RECT rect;
        GetClientRect(&rect);
        const int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    } else {
        CDialog::OnPaint();
    }
}

HCURSOR CUpdateDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}
