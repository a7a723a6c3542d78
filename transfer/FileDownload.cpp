// The download of one file into a staging file beside it, and the swap of the
// staging file onto the installed name. Only a complete, successful response
// is ever put in place.
#include "ui/UpdateDlg.h"
#include "transfer/HttpExchange.h"

#include <cstdlib>

namespace {

const char STATUS_UNEXPECTED[] = "异常错误！";
const char STATUS_DOWNLOADING[] = "正在下载文件：";
const char STATUS_NOT_FOUND[] = "不存在！";
const char STATUS_FAILED[] = "下载失败！";
const char STATUS_DONE[] = "完成更新!";
const char WRITE_ERROR_PREFIX[] = "写文件";
const char WRITE_ERROR_SUFFIX[] = "错误！";
const char FILE_IN_USE_LINE[] = "\n文件正在使用中，请先关闭程序！";
const char STAGING_SUFFIX[] = ".upg";
const UINT READ_PIECE = 2048;
const int MESSAGE_PASSES_PER_PIECE = 10;

bool IsSuccessStatus(const CString& strStatusCode)
{
    const int nCode = atoi(strStatusCode);
    return nCode >= 200 && nCode <= 299;
}

// The staging file: created (or truncated) with shared reads and no shared
// writes, and removed when the download does not end in the swap.
class CStagingFile {
public:
    explicit CStagingFile(const CString& strPath) : m_strPath(strPath) {}
    ~CStagingFile()
    {
        m_file.Abort();
        if (m_bCreated)
            DeleteFileA(m_strPath);
    }
    CStagingFile(const CStagingFile&) = delete;
    CStagingFile& operator=(const CStagingFile&) = delete;

    BOOL Create()
    {
        m_bCreated = m_file.Open(m_strPath, CFile::modeCreate | CFile::modeWrite | CFile::shareDenyWrite |
                                                 CFile::typeBinary);
        return m_bCreated;
    }
    CFile& File() { return m_file; }
    // One step, so that the installed file is never lost: it is either the old
    // file or the new one. TRUE when the staging file is in place.
    BOOL MoveOnto(const CString& strInstalledPath)
    {
        m_file.Close();
        if (!MoveFileExA(m_strPath, strInstalledPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return FALSE;
        m_bCreated = FALSE;
        return TRUE;
    }

private:
    CString m_strPath;
    CStdioFile m_file;
    BOOL m_bCreated = FALSE;
};

// The bar follows the received count as a percentage of the announced length;
// without one it shows 0 while the body arrives and 100 at its end. A
// position goes to the control only when it changes.
class CProgressFeed {
public:
    CProgressFeed(CProgressCtrl& progress, ULONGLONG ullAnnounced) : m_progress(progress), m_ullAnnounced(ullAnnounced) {}

    void Received(ULONGLONG ullReceived)
    {
        Show(m_ullAnnounced > 0 ? static_cast<int>(ullReceived * 100 / m_ullAnnounced) : 0);
    }
    void Complete()
    {
        if (m_ullAnnounced == 0 && m_nShown >= 0)
            Show(100);
    }

private:
    void Show(int nPos)
    {
        if (nPos != m_nShown) {
            m_progress.SetPos(nPos);
            m_nShown = nPos;
        }
    }

    CProgressCtrl& m_progress;
    ULONGLONG m_ullAnnounced;
    int m_nShown = -1;  // nothing sent in this download yet
};

// Exactly ten passes over the calling thread's queue, each taking at most one
// message, so the window stays responsive and the work per piece is bounded.
void PumpMessages()
{
    MSG msg;
    for (int i = 0; i < MESSAGE_PASSES_PER_PIECE; ++i) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// The copy loop: every piece moves the bar, lets the queue run and goes to
// the staging file. A failed read or write raises. Returns the bytes received.
ULONGLONG CopyBody(CHttpFile& request, CFile& file, CProgressFeed& progress)
{
    char buffer[READ_PIECE];
    ULONGLONG ullReceived = 0;
    UINT nRead;
    while ((nRead = request.Read(buffer, sizeof buffer)) > 0) {
        ullReceived += nRead;
        progress.Received(ullReceived);
        PumpMessages();
        file.Write(buffer, nRead);
    }
    progress.Complete();
    return ullReceived;
}

}  // namespace

BOOL CUpdateDlg::FetchFile(CString strServerPath, CString strLocalName, CString& strResultText)
{
    CHttpExchange exchange(m_strServer, m_nPort, strServerPath, m_dwRequestFlags);
    try {
        exchange.Request().SendRequest();
    } catch (const CInternetException&) {
        // Shown to nobody: the status line and the result text stay.
        return FALSE;
    } catch (...) {
        m_strStatus = STATUS_UNEXPECTED;
        RefreshControls(FALSE);
        return FALSE;
    }

    m_strStatus = STATUS_DOWNLOADING + strServerPath;
    RefreshControls(FALSE);

    // Only a 2xx response is put in place: an error page or a redirect page
    // never replaces a program.
    CString strStatusCode;
    exchange.Request().QueryInfo(HTTP_QUERY_STATUS_CODE, strStatusCode);
    if (!IsSuccessStatus(strStatusCode)) {
        m_strStatus = strServerPath + (strStatusCode == "404" ? STATUS_NOT_FOUND : STATUS_FAILED);
        RefreshControls(FALSE);
        strResultText = m_strStatus;
        return FALSE;
    }

    ULONGLONG ullAnnounced = 0;
    const BOOL bAnnounced = QueryAnnouncedLength(exchange.Request(), ullAnnounced);
    const CString strInstalledPath = m_strAppDir + "\\" + strLocalName;
    const CString strWriteError = WRITE_ERROR_PREFIX + strInstalledPath + WRITE_ERROR_SUFFIX;

    CStagingFile staging(strInstalledPath + STAGING_SUFFIX);
    if (!staging.Create()) {
        if (!m_bAutoMode)
            AfxMessageBox(strWriteError + FILE_IN_USE_LINE, MB_ICONERROR);
        strResultText = m_strStatus;
        return FALSE;
    }

    CProgressFeed progress(m_progress, ullAnnounced);
    const ULONGLONG ullReceived = CopyBody(exchange.Request(), staging.File(), progress);
    exchange.Request().Close();
    staging.File().Close();
    exchange.Close();

    // A body shorter (or longer) than announced ended early: not a file.
    if (bAnnounced && ullReceived != ullAnnounced) {
        m_strStatus = strServerPath + STATUS_FAILED;
        RefreshControls(FALSE);
        strResultText = m_strStatus;
        return FALSE;
    }
    if (!staging.MoveOnto(strInstalledPath)) {
        m_strStatus = strWriteError;
        RefreshControls(FALSE);
        strResultText = m_strStatus;
        if (!m_bAutoMode)
            AfxMessageBox(strWriteError + FILE_IN_USE_LINE, MB_ICONERROR);
        return FALSE;
    }

    m_strStatus = strServerPath + STATUS_DONE;
    RefreshControls(FALSE);
    strResultText = m_strStatus;
    return TRUE;
}
