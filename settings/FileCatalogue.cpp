// The file catalogue: the maintained files of the installed settings'
// FileList, one record per item, in FileList order.
#include "ui/UpdateDlg.h"
#include "settings/SettingsFile.h"

// Appends the pieces of strText between delimiters to arrPieces. A delimiter
// at the start or two in a row give empty pieces; one at the end gives none.
// The search steps over double-byte characters.
void CUpdateDlg::SplitString(CString strText, char chDelimiter, CStringArray& arrPieces)
{
    int nDelimiter = strText.IsEmpty() ? -1 : strText.Find(chDelimiter);
    while (nDelimiter >= 0) {
        arrPieces.Add(strText.Left(nDelimiter));
        strText.Delete(0, nDelimiter + 1);
        nDelimiter = strText.IsEmpty() ? -1 : strText.Find(chDelimiter);
    }
    if (!strText.IsEmpty())
        arrPieces.Add(strText);
}

void CUpdateDlg::LoadFileList()
{
    const CString strSettings = InstalledSettingsPath(m_strAppDir);
    const CString strFileList = ReadSetting("SystemInfo", "FileList", "", SETTINGS_FILELIST_BUFFER, strSettings);

    CStringArray arrItems;
    SplitString(strFileList, ',', arrItems);

    const INT_PTR nCount = arrItems.GetSize();
    for (INT_PTR i = 0; i < nCount; ++i) {
        UpdateFileInfo info;
        info.strSection = arrItems[i];
        const CString strBaseName = ItemBaseName(info.strSection);
        info.strLocalVersion = ReadSetting(info.strSection, "CurrentVersion", DEFAULT_ITEM_VERSION,
                                           SETTINGS_ITEM_BUFFER, strSettings);
        info.strServerFile = ReadSetting(info.strSection, "ServerFileName", strBaseName + ".zip",
                                         SETTINGS_ITEM_BUFFER, strSettings);
        info.strLocalFile = ReadSetting(info.strSection, "LocalFileName", strBaseName + ".exe",
                                        SETTINGS_ITEM_BUFFER, strSettings);
        m_arrFiles.Add(info);
    }
}
