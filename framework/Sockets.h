// Windows sockets start-up for the application.
#pragma once
#include <winsock2.h>
#include <windows.h>

BOOL AfxSocketInit(WSADATA* lpwsaData = nullptr);

// Replaces the start-up call (WSAStartup by default), so that a test can
// make the start-up fail without breaking Windows sockets; nullptr restores it.
typedef int (WINAPI *AFX_SOCKET_STARTUP)(WORD wVersionRequested, LPWSADATA lpWSAData);
void AfxSetSocketStartup(AFX_SOCKET_STARTUP pfnStartup);
