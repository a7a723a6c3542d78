// The update run over every marked catalogue item: make sure no program of
// the file runs, download the file into place, list the result; at the end
// replace the installed settings.
#include "ui/UpdateDlg.h"
#include "process/ProcessGuard.h"
#include "settings/LocalPath.h"

#include <cstdlib>

namespace {

const char STATUS_RUN_DONE[] = "完成更新！";
const char STATUS_SETTINGS_FAILED[] = "设置文件更新失败！";
const char RESULT_INVALID_NAME[] = "文件名无效！";
const char QUESTION_RUNNING[] = "已在运行！\n请先关闭程序才能进行更新！\n如果选择确定将强行关闭程序！";

}  // namespace

void CUpdateDlg::RunUpdate()
{
    CWaitCursor wait;  // BeginWaitCursor, and EndWaitCursor on every way out
    m_bRunComplete = FALSE;
    m_listFiles.ResetContent();

    // Marked items whose file did not come into place: the settings
    // replacement keeps their installed versions in the record.
    CUpdateFileArray arrIncomplete;
    const INT_PTR nCount = m_arrFiles.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i) {
        UpdateFileInfo info = m_arrFiles[i];
        if (!info.bNeedUpdate)
            continue;
        if (StopRequested())
            return;

        if (!IsLocalNameInside(m_strAppDir, info.strLocalFile)) {
            // Nothing is shut down or written outside the installation directory.
            info.strResult = info.strLocalFile + RESULT_INVALID_NAME;
            arrIncomplete.Add(info);
        } else {
            CProcessGuard guard;
            const DWORD dwProcessId = guard.LocateProcess(info.strLocalFile, TRUE);
            if (dwProcessId != 0) {
                const BOOL bShutDown = m_bAutoMode || AfxMessageBox(info.strLocalFile + QUESTION_RUNNING, MB_OKCANCEL) == IDOK;
                if (bShutDown && !guard.ShutDownProcess(dwProcessId, TRUE))
                    return;  // the program is still running: the run stops here
            }
            if (atof(info.strLocalVersion) < atof(info.strServerVersion)) {
                CString strResultText;
                const BOOL bFetched = FetchFile(m_strUpdateRoot + "/" + info.strServerFile, info.strLocalFile, strResultText);
                info.strResult = strResultText;
                if (!bFetched)
                    arrIncomplete.Add(info);
                if (StopRequested())
                    return;  // Cancel: the download was abandoned
            }
        }
        m_listFiles.AddString(info.strLocalFile + " " + info.strLocalVersion + "-->" + info.strServerVersion + "   " +
                              info.strResult);
    }

    const BOOL bReplaced = ReplaceSettingsFile(arrIncomplete);
    m_btnNext.SetWindowText(CAPTION_FINISH);
    m_strStatus = bReplaced ? STATUS_RUN_DONE : STATUS_SETTINGS_FAILED;
    RefreshControls(FALSE);
    m_bRunComplete = bReplaced && arrIncomplete.GetSize() == 0;
}
