// Where a maintained file may live: a LocalFileName names a file inside the
// installation directory, possibly in a subdirectory of it, and nothing else.
#pragma once
#include "framework/Afx.h"

// TRUE when strLocalName, taken relative to strAppDir (no trailing
// backslash), names a file inside that directory. Refused: an empty name, an
// absolute name ("\x", "/x"), a name with a drive or a stream (any ':'), a
// share ("\\server\x"), and a name that climbs out of the directory or lands
// on it through "." and ".." pieces.
BOOL IsLocalNameInside(const CString& strAppDir, const CString& strLocalName);
