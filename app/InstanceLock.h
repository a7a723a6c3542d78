// One updater per installation: a named mutex derived from the installation
// directory (letter case ignored), held for the life of the program.
#pragma once
#include "framework/Afx.h"

class CInstanceLock {
public:
    // Takes the lock of strAppDir; Acquired() tells whether this process holds it.
    explicit CInstanceLock(const CString& strAppDir);
    ~CInstanceLock();
    CInstanceLock(const CInstanceLock&) = delete;
    CInstanceLock& operator=(const CInstanceLock&) = delete;

    BOOL Acquired() const { return m_bAcquired; }

    // Brings the wizard of another updater of this installation to the front;
    // FALSE when none appears within dwTimeoutMs.
    BOOL ActivateRunningWizard(DWORD dwTimeoutMs) const;

private:
    CString m_strAppDir;
    HANDLE m_hMutex;
    BOOL m_bAcquired;
};
