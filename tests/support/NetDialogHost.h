// The wizard dialog, created for real (from its template, with its controls)
// and run modally on a thread of its own, so that a test can run the dialog's
// operations on the dialog's thread - as a button handler would - while the
// test thread reads the window and answers message boxes.
//
//   CNetDialogHost host;                         // reads Update.ini beside the test program
//   BOOL bNewer = FALSE;
//   host.Run([&](CUpdateDlg& dlg) { bNewer = dlg.CheckVersions(); });
//   host.Status(); host.ListLines(); host.ProgressPositions();
//
// Build it after the test has set TMP/TEMP: the dialog takes its temporary
// directory when it is constructed.
#pragma once
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "ui/UpdateDlg.h"

class CModalRun;

class CNetDialogHost {
public:
    CNetDialogHost();
    ~CNetDialogHost();
    CNetDialogHost(const CNetDialogHost&) = delete;
    CNetDialogHost& operator=(const CNetDialogHost&) = delete;

    typedef std::function<void(CUpdateDlg&)> Task;

    // Runs the task on the dialog's thread and waits for it; an exception the
    // task raises is raised again here.
    void Run(const Task& task);
    // Starts the task on the dialog's thread and returns at once (for tasks
    // that show message boxes); Finish waits for it, raising what it raised.
    void Start(const Task& task);
    void Finish(DWORD nTimeoutMs = 60000);

    CUpdateDlg& Dlg();
    HWND Hwnd() const;
    std::string Status() const;
    std::vector<std::string> ListLines() const;
    std::string ButtonCaption() const;
    bool ButtonEnabled() const;
    // Every position the progress bar was sent (PBM_SETPOS), in order.
    std::vector<int> ProgressPositions() const;
    // Every text the status line was given, in order.
    std::vector<std::string> StatusHistory() const;
    // Posts n messages to the dialog that count themselves when dispatched.
    void PostCountedMessages(int n);
    int CountedMessagesDispatched() const;

    class CHostedDlg;

private:
    std::unique_ptr<CHostedDlg> m_pDlg;
    std::unique_ptr<CModalRun> m_pRun;
};
