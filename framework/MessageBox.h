// AfxMessageBox: a modal box captioned with the application's name.
#pragma once
#include <windows.h>

int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
// The text is string resource nIDPrompt of the program.
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);
