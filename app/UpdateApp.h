// CUpdateApp: the application object. Its whole life is one modal run of the
// update wizard.
#pragma once
#include "framework/Afx.h"

class CUpdateApp : public CWinApp {
public:
    CUpdateApp();
    ~CUpdateApp() override;

    BOOL InitInstance() override;
    // Fills words with the words of the command-line tail (see UpdateApp.cpp).
    void SplitCommandLine(CStringArray& words);

    DECLARE_MESSAGE_MAP()
};
