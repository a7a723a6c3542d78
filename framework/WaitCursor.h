// The wait cursor: nCode 1 shows it, -1 ends one showing, 0 shows it again
// while a count is held. Counted per thread, as the cursor is per thread.
#pragma once

void AfxDoWaitCursor(int nCode);

// The wait cursor for the life of a scope, however the scope is left.
class CWaitCursor {
public:
    CWaitCursor() { AfxDoWaitCursor(1); }
    ~CWaitCursor() { AfxDoWaitCursor(-1); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
