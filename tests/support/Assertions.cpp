#include "tests/support/Assertions.h"

::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual)
{
    if (expected == actual)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected.size() << " bytes beginning \""
                                         << expected.substr(0, 16) << "\", got " << actual.size()
                                         << " bytes beginning \"" << actual.substr(0, 16) << "\"";
}

bool WaitFor(const std::function<bool()>& done, DWORD nTimeoutMs)
{
    const DWORD dwStart = GetTickCount();
    while (!done()) {
        if (GetTickCount() - dwStart > nTimeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}
