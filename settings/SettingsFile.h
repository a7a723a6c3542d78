// Reads of the settings file Update.ini (the installed copy and the server's
// copy), one key per call through the Windows profile reader.
#pragma once
#include "framework/Afx.h"

// Sizes of the receiving buffers, terminator included: a longer value is cut
// to one byte less.
enum {
    SETTINGS_SERVER_BUFFER = 128,
    SETTINGS_PORT_BUFFER = 128,
    SETTINGS_UPDATEINFO_BUFFER = 128,
    SETTINGS_FILELIST_BUFFER = 512,
    SETTINGS_ITEM_BUFFER = 50,
    SETTINGS_SERVER_VERSION_BUFFER = 128,
};

extern const char SETTINGS_FILE_NAME[];       // "Update.ini"
extern const char DEFAULT_SERVER[];           // the default server host
extern const char DEFAULT_PORT[];             // "80"
extern const char DEFAULT_UPDATE_ROOT[];      // "/update"
extern const char DEFAULT_ITEM_VERSION[];     // "1.0"

// The value of [strSection] strKey in the file strPath, or strDefault when the
// file, section or key is missing; cut to nBufferSize - 1 bytes.
CString ReadSetting(LPCSTR lpszSection, LPCSTR lpszKey, LPCSTR lpszDefault,
                    DWORD nBufferSize, LPCSTR lpszPath);

// The port text read as atoi reads it, cut to its low 16 bits.
WORD PortFromText(LPCSTR lpszPort);

// The installed copy: Update.ini in the installation directory.
CString InstalledSettingsPath(const CString& strAppDir);
// The server's copy: Update.ini in the temporary directory. That directory
// ends with a backslash, so the path holds a doubled one, which the file
// functions accept; the check, the download and the replacement all use it.
CString ServerCopyPath(const CString& strTempDir);

// An item's base name: its text before the first ".", or empty when it holds none.
CString ItemBaseName(const CString& strItem);
