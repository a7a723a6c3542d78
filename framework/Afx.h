// The framework in one include: our small MFC-like layer over Win32.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "framework/Array.h"
#include "framework/CmdTarget.h"
#include "framework/CommandLine.h"
#include "framework/Controls.h"
#include "framework/DataExchange.h"
#include "framework/Dialog.h"
#include "framework/Exception.h"
#include "framework/File.h"
#include "framework/Internet.h"
#include "framework/MessageBox.h"
#include "framework/Sockets.h"
#include "framework/String.h"
#include "framework/StringArray.h"
#include "framework/WaitCursor.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"

// Kept for source compatibility: the program hosts no ActiveX controls.
inline void AfxEnableControlContainer() {}
