// One record of the file catalogue: a maintained file, its installed and
// served versions, and whether the server's is newer.
#pragma once
#include "framework/Afx.h"

struct UpdateFileInfo {
    CString strLocalFile;      // LocalFileName: the name in the installation directory
    CString strSection;        // the item as written in FileList; its section name
    CString strServerFile;     // ServerFileName: the name under UpdateInfo on the server
    CString strLocalVersion;   // CurrentVersion of the installed settings
    CString strServerVersion;  // CurrentVersion of the server's copy
    CString strResult;         // result text of the download
    BOOL bNeedUpdate = FALSE;  // the server's version is numerically greater
};

typedef CArray<UpdateFileInfo, const UpdateFileInfo&> CUpdateFileArray;
