// Replacement of the installed settings by the server's copy after an update
// run, so that the installed record names the versions now in place.
#include "ui/UpdateDlg.h"
#include "settings/SettingsFile.h"

namespace {

// Copies strFrom to a fresh temporary name in strDir and flushes it; the name,
// or an empty text when the copy failed (nothing is left behind then).
CString CopyBeside(const CString& strFrom, const CString& strDir)
{
    char szTemp[MAX_PATH] = "";
    if (!GetTempFileNameA(strDir, "upd", 0, szTemp))
        return CString();
    BOOL bDone = CopyFileA(strFrom, szTemp, FALSE);
    if (bDone) {
        HANDLE hFile = CreateFileA(szTemp, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        bDone = hFile != INVALID_HANDLE_VALUE && FlushFileBuffers(hFile);
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
    }
    if (!bDone) {
        DeleteFileA(szTemp);
        return CString();
    }
    return CString(szTemp);
}

// Writes each item's installed version back into the server copy: its file
// did not come into place, so the record must not claim the server's version.
BOOL WriteBackInstalledVersions(const CUpdateFileArray& arrIncomplete, const CString& strCopy)
{
    const INT_PTR nCount = arrIncomplete.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i) {
        const UpdateFileInfo& info = arrIncomplete[i];
        if (!WritePrivateProfileStringA(info.strSection, "CurrentVersion", info.strLocalVersion, strCopy))
            return FALSE;
    }
    return TRUE;
}

}  // namespace

// The server copy replaces the installed settings in one step (a copy under a
// temporary name beside them, then a move over them), and only when it is a
// settings file with a file list: a missing copy, an error page or a copy cut
// short leaves the installed settings as they were. The server copy is
// removed either way. Nothing is shown: no shell operation is used.
BOOL CUpdateDlg::ReplaceSettingsFile(const CUpdateFileArray& arrIncomplete)
{
    const CString strInstalled = InstalledSettingsPath(m_strAppDir);
    const CString strCopy = ServerCopyPath(m_strTempDir);

    BOOL bReplaced = FALSE;
    const CString strFileList = ReadSetting("SystemInfo", "FileList", "", SETTINGS_FILELIST_BUFFER, strCopy);
    if (!strFileList.IsEmpty() && WriteBackInstalledVersions(arrIncomplete, strCopy)) {
        const CString strStaged = CopyBeside(strCopy, m_strAppDir + "\\");
        if (!strStaged.IsEmpty()) {
            bReplaced = MoveFileExA(strStaged, strInstalled, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            if (!bReplaced)
                DeleteFileA(strStaged);
        }
    }
    DeleteFileA(strCopy);
    return bReplaced;
}
