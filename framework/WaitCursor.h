// The wait cursor: nCode 1 shows it, -1 ends one showing, 0 shows it again
// while a count is held. Counted per thread, as the cursor is per thread.
#pragma once

void AfxDoWaitCursor(int nCode);
