// The connect time-out that WinINet promises but Wine does not keep.
//
// Wine's WinINet ignores INTERNET_OPTION_CONNECT_TIMEOUT: HttpSendRequest to a
// listener that never accepts blocks for about two minutes, and closing the
// handle from another thread does not release it. Before a request is sent,
// the framework therefore opens (and at once closes) a plain TCP connection to
// the same server and port - or to the proxy the session goes through - with
// a non-blocking Winsock connect bounded by the session's connect time-out,
// and fails the way WinINet fails on a connect time-out when it does not
// connect in time. On Windows the check costs one extra loopback-cheap
// connection and never fires before WinINet's own time-out would.
#pragma once
#include <windows.h>
#include <wininet.h>
#include "framework/String.h"

// Where a request's TCP connection goes: the server itself, or the proxy.
struct CConnectTarget {
    CString strHost;
    INTERNET_PORT nPort = 0;
};

// The target for a request to strServer:nPort through the session hSession:
// the session's HTTP proxy when it has one and the server is not in its
// bypass list, otherwise the server.
CConnectTarget AfxConnectTargetOf(HINTERNET hSession, LPCSTR lpszServer, INTERNET_PORT nPort);

// Opens a TCP connection to the target within dwTimeoutMs and closes it.
// Returns 0 on success, ERROR_INTERNET_TIMEOUT when no connection was made
// in time, ERROR_INTERNET_NAME_NOT_RESOLVED or ERROR_INTERNET_CANNOT_CONNECT.
DWORD AfxConnectWithin(const CConnectTarget& target, DWORD dwTimeoutMs);
