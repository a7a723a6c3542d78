// The command-line tail handed to the application: what follows the program's
// own path (quoted or not) and the blanks after it. It never begins with a blank.
#pragma once
#include <windows.h>

LPSTR AfxCommandLineTail(LPSTR lpszCommandLine);
