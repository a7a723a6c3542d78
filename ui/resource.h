// Resource identifiers of the updater.
#pragma once

#define IDD_UPDATE_DIALOG           102
#define IDS_SOCKETS_INIT_FAILED     103
#define IDR_MAINFRAME               128
#define IDB_WIZARD                  131

#define IDC_PICTURE                 1000
#define IDC_PROGRESS                1002
#define IDC_FILE_LIST               1011
#define IDC_STATUS                  1012

#ifndef IDC_STATIC
#define IDC_STATIC                  (-1)
#endif
