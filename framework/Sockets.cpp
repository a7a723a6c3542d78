#include "framework/Sockets.h"

namespace {
AFX_SOCKET_STARTUP g_pfnStartup = nullptr;
}

void AfxSetSocketStartup(AFX_SOCKET_STARTUP pfnStartup)
{
    g_pfnStartup = pfnStartup;
}

BOOL AfxSocketInit(WSADATA* lpwsaData)
{
    WSADATA wsaData;
    AFX_SOCKET_STARTUP pfnStartup = g_pfnStartup ? g_pfnStartup : WSAStartup;
    if (pfnStartup(MAKEWORD(2, 2), lpwsaData ? lpwsaData : &wsaData) != 0)
        return FALSE;
    return TRUE;
}
