// The download of one file into a staging file beside it, and the swap of the
// staging file onto the installed name. Only a complete, successful response
// is ever put in place.
#include "ui/UpdateDlg.h"
#include "framework/Crypto.h"
#include "settings/SecuritySettings.h"
#include "settings/SettingsFile.h"
#include "transfer/HttpExchange.h"

#include <cstdlib>

namespace {

const char STATUS_UNEXPECTED[] = "异常错误！";
const char STATUS_DOWNLOADING[] = "正在下载文件：";
const char STATUS_NOT_FOUND[] = "不存在！";
const char STATUS_FAILED[] = "下载失败！";
const char STATUS_DONE[] = "完成更新!";
const char STATUS_DIGEST_FAILED[] = "校验失败！";
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

// The copy loop: every piece moves the bar, lets the queue run, goes to the
// staging file and into the digest (when one is wanted). A stop request
// (Cancel, dispatched by the pump or set by another thread) ends it before
// the next read. A failed read or write raises. Returns the bytes received.
ULONGLONG CopyBody(CHttpFile& request, CFile& file, CProgressFeed& progress, CSha256* pDigest, const CUpdateDlg& owner)
{
    char buffer[READ_PIECE];
    ULONGLONG ullReceived = 0;
    UINT nRead;
    while (!owner.StopRequested() && (nRead = request.Read(buffer, sizeof buffer)) > 0) {
        ullReceived += nRead;
        progress.Received(ullReceived);
        PumpMessages();
        file.Write(buffer, nRead);
        if (pDigest)
            pDigest->Update(buffer, nRead);
    }
    if (!owner.StopRequested())
        progress.Complete();
    return ullReceived;
}

// The body copied into the staging file, then the request, the file and the
// connection closed, so that the staging file can be moved. Returns the bytes
// received.
ULONGLONG ReceiveBody(CHttpExchange& exchange, CFile& file, CProgressFeed& progress, CSha256* pDigest,
                      const CUpdateDlg& owner)
{
    const ULONGLONG ullReceived = CopyBody(exchange.Request(), file, progress, pDigest, owner);
    exchange.Request().Close();
    file.Close();
    exchange.Close();
    return ullReceived;
}

// The Sha256 that the server's copy gives for the file, or an empty text when
// it gives none. FetchFile is handed only the request path and the local
// name, so the item is found in the catalogue the way the update run builds
// the request from it: same local name, same path under the update root.
// Its section in the copy holds the digest.
CString ExpectedDigest(const CUpdateFileArray& arrFiles, const CString& strUpdateRoot, const CString& strServerPath,
                       const CString& strLocalName, const CString& strCopy)
{
    const INT_PTR nCount = arrFiles.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i) {
        const UpdateFileInfo& info = arrFiles[i];
        if (info.strLocalFile == strLocalName && strUpdateRoot + "/" + info.strServerFile == strServerPath)
            return ReadSetting(info.strSection, "Sha256", "", SETTINGS_SERVER_VERSION_BUFFER, strCopy);
    }
    return CString();
}

// TRUE when the digest of the body is the expected hex text (either case).
BOOL DigestMatches(CSha256& digest, const CString& strExpected)
{
    BYTE hash[CSha256::DIGEST_SIZE];
    return digest.Finish(hash) && _stricmp(CSha256::ToHex(hash, sizeof hash), strExpected) == 0;
}

// The box of an interactive run for a file that cannot be written.
void WarnWriteError(bool bAutoMode, const CString& strWriteError)
{
    if (!bAutoMode)
        AfxMessageBox(strWriteError + FILE_IN_USE_LINE, MB_ICONERROR);
}

}  // namespace

BOOL CUpdateDlg::FetchFile(CString strServerPath, CString strLocalName, CString& strResultText)
{
    // 1. A digest the server's copy gives is always checked; under a pinned
    // key a file without one is refused before anything is requested.
    const CSecuritySettings security(InstalledSettingsPath(m_strAppDir));
    const CString strExpected =
        ExpectedDigest(m_arrFiles, m_strUpdateRoot, strServerPath, strLocalName, ServerCopyPath(m_strTempDir));
    if (strExpected.IsEmpty() && security.KeyPinned())
        return ShowFileOutcome(strServerPath + STATUS_DIGEST_FAILED, strResultText, FALSE);

    // 2. The request (a network error is shown to nobody).
    CHttpExchange exchange(m_strServer, security.Port(m_nPort), strServerPath, security.RequestFlags(m_dwRequestFlags));
    if (!SendFileRequest(exchange.Request()))
        return FALSE;
    m_strStatus = STATUS_DOWNLOADING + strServerPath;
    RefreshControls(FALSE);

    // 3. Only a 2xx response is put in place: an error page or a redirect
    // page never replaces a program.
    CString strStatusCode;
    exchange.Request().QueryInfo(HTTP_QUERY_STATUS_CODE, strStatusCode);
    if (!IsSuccessStatus(strStatusCode))
        return ShowFileOutcome(strServerPath + (strStatusCode == "404" ? STATUS_NOT_FOUND : STATUS_FAILED),
                               strResultText, FALSE);

    // 4. The body, staged beside the installed file; hashed only when there
    // is a digest to compare it with.
    ULONGLONG ullAnnounced = 0;
    const BOOL bAnnounced = QueryAnnouncedLength(exchange.Request(), ullAnnounced);
    const CString strInstalledPath = m_strAppDir + "\\" + strLocalName;
    const CString strWriteError = WRITE_ERROR_PREFIX + strInstalledPath + WRITE_ERROR_SUFFIX;
    CStagingFile staging(strInstalledPath + STAGING_SUFFIX);
    if (!staging.Create()) {
        WarnWriteError(m_bAutoMode, strWriteError);
        strResultText = m_strStatus;
        return FALSE;
    }
    CProgressFeed progress(m_progress, ullAnnounced);
    CSha256 digest;
    const ULONGLONG ullReceived =
        ReceiveBody(exchange, staging.File(), progress, strExpected.IsEmpty() ? nullptr : &digest, *this);

    // 5. Nothing is swapped (the staging file goes on the way out) when the
    // download was abandoned, the body differs from its announced length, or
    // it is not the file the server's copy names.
    if (StopRequested())
        return FALSE;
    if (bAnnounced && ullReceived != ullAnnounced)
        return ShowFileOutcome(strServerPath + STATUS_FAILED, strResultText, FALSE);
    if (!strExpected.IsEmpty() && !DigestMatches(digest, strExpected))
        return ShowFileOutcome(strServerPath + STATUS_DIGEST_FAILED, strResultText, FALSE);

    // 6. The swap, and the report.
    if (!staging.MoveOnto(strInstalledPath)) {
        ShowFileOutcome(strWriteError, strResultText, FALSE);
        WarnWriteError(m_bAutoMode, strWriteError);
        return FALSE;
    }
    return ShowFileOutcome(strServerPath + STATUS_DONE, strResultText, TRUE);
}

// Sends the file's request; FALSE when it could not be sent. A network error
// is shown to nobody (the status line and the result text stay); any other
// error is reported on the status line.
BOOL CUpdateDlg::SendFileRequest(CHttpFile& request)
{
    try {
        request.SendRequest();
        return TRUE;
    } catch (const CInternetException&) {
        return FALSE;
    } catch (...) {
        m_strStatus = STATUS_UNEXPECTED;
        RefreshControls(FALSE);
        return FALSE;
    }
}

// The download's outcome on the status line and as the item's result text.
BOOL CUpdateDlg::ShowFileOutcome(const CString& strText, CString& strResultText, BOOL bResult)
{
    m_strStatus = strText;
    RefreshControls(FALSE);
    strResultText = m_strStatus;
    return bResult;
}
