// The version check: fetches the server's copy of the settings file into the
// temporary directory, reads every item's served version from it and marks
// the items that are newer there.
#include "ui/UpdateDlg.h"
#include "settings/SettingsFile.h"
#include "transfer/HttpExchange.h"

#include <cstdlib>

namespace {

const char STATUS_CONNECTING[] = "正在连接到服务器...";
const char STATUS_READING[] = "读取版本信息...";
const char STATUS_CONNECT_FAILED[] = "连接服务器失败！";
const char STATUS_NEWER_FOUND[] = "发现新的版本:";
const char STATUS_UP_TO_DATE[] = "您现在用的版本已是最新的！";
// One header line: its name is Content-Type, the rest is its value.
const char VERSION_REQUEST_HEADER[] = "Content-Type: text/xml;charset=utf-8;User-Agent:Kelp Client";
const UINT READ_PIECE = 2048;

// Copies the body into the open file; the number of bytes received.
ULONGLONG CopyBody(CHttpFile& request, CFile& file)
{
    char buffer[READ_PIECE];
    ULONGLONG ullReceived = 0;
    UINT nRead;
    while ((nRead = request.Read(buffer, sizeof buffer)) > 0) {
        ullReceived += nRead;
        file.Write(buffer, nRead);
    }
    return ullReceived;
}

// Stores the body as the temporary copy. A copy that cannot be created is a
// file error (nothing is written). A copy cut short - a failed read or write,
// or fewer or more bytes than announced - is deleted, so that no item reads
// as newer from it and no later run installs half a settings file.
void StoreVersionCopy(CHttpFile& request, const CString& strCopy)
{
    CStdioFile file;
    CFileException error;
    if (!file.Open(strCopy, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary, &error))
        throw error;

    ULONGLONG ullReceived = 0;
    try {
        ullReceived = CopyBody(request, file);
        file.Close();
    } catch (...) {
        file.Abort();
        DeleteFileA(strCopy);
        throw;
    }
    ULONGLONG ullAnnounced = 0;
    if (QueryAnnouncedLength(request, ullAnnounced) && ullAnnounced != ullReceived)
        DeleteFileA(strCopy);
}

// Reads each item's served version from the copy and marks the newer ones.
BOOL MarkNewerItems(CUpdateFileArray& arrFiles, const CString& strCopy)
{
    BOOL bNewer = FALSE;
    const INT_PTR nCount = arrFiles.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i) {
        UpdateFileInfo& info = arrFiles[i];
        info.strServerVersion = ReadSetting(info.strSection, "CurrentVersion", info.strLocalVersion,
                                            SETTINGS_SERVER_VERSION_BUFFER, strCopy);
        info.bNeedUpdate = atof(info.strLocalVersion) < atof(info.strServerVersion);
        if (info.bNeedUpdate)
            bNewer = TRUE;
    }
    return bNewer;
}

}  // namespace

BOOL CUpdateDlg::CheckVersions()
{
    m_bServerUnreachable = FALSE;
    m_strStatus = STATUS_CONNECTING;
    RefreshControls(FALSE);

    // The temporary directory ends with a backslash: the path holds a doubled
    // one, which the file functions accept (the settings replacement uses the
    // very same path).
    const CString strCopy = m_strTempDir + "\\" + SETTINGS_FILE_NAME;
    {
        CHttpExchange exchange(m_strServer, m_nPort, m_strVersionPath, m_dwRequestFlags);
        exchange.Request().AddRequestHeaders(VERSION_REQUEST_HEADER, HTTP_ADDREQ_FLAG_ADD_IF_NEW, -1);
        BOOL bSent = FALSE;
        try {
            exchange.Request().SendRequest();
            bSent = TRUE;
            m_strStatus = STATUS_READING;
            RefreshControls(FALSE);
            StoreVersionCopy(exchange.Request(), strCopy);
        } catch (const CInternetException&) {
            // A network error is shown to nobody: the comparison decides.
            m_bServerUnreachable = !bSent;
        } catch (...) {
            m_strStatus = STATUS_CONNECT_FAILED;
            RefreshControls(FALSE);
        }
        exchange.Close();
    }

    if (MarkNewerItems(m_arrFiles, strCopy)) {
        m_listFiles.ResetContent();
        const INT_PTR nCount = m_arrFiles.GetSize();
        for (INT_PTR i = 0; i < nCount; ++i) {
            const UpdateFileInfo& info = m_arrFiles[i];
            m_listFiles.AddString(info.strLocalFile + " " + info.strLocalVersion + "-->" + info.strServerVersion);
        }
        m_strStatus = STATUS_NEWER_FOUND;
        RefreshControls(FALSE);
        m_btnNext.SetWindowText(CAPTION_UPDATE);
        return TRUE;
    }

    m_strStatus = STATUS_UP_TO_DATE;
    RefreshControls(FALSE);
    m_btnNext.SetWindowText(CAPTION_UPDATE);
    m_btnNext.EnableWindow(FALSE);
    return FALSE;
}
