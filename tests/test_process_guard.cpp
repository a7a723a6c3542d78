// The process guard against real processes under Wine: lookup by executable
// base name, and the polite-then-forced shutdown of guardee helper processes
// whose windows agree, refuse, hang or ignore being closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "framework/Afx.h"
#include "process/ModuleEnumerator.h"
#include "process/ProcessEnumerator.h"
#include "process/ProcessGuard.h"
#include "process/WindowIterator.h"
#include "tests/support/GuardeeProcess.h"

namespace {

// Executable names carry this test program's identifier, so that helpers of
// other test programs running in the same prefix never match.
std::string Tagged(const std::string& stem)
{
    char szTag[16];
    std::snprintf(szTag, sizeof szTag, "%lx", GetCurrentProcessId());
    return stem + szTag;
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return text;
}

// ---------------------------------------------------------------------------
// Lookup

TEST(LocateProcess, MatchesTheExecutableBaseNameIgnoringAsciiCase)
{
    const std::string app = Tagged("app");
    CGuardeeProcess guardee(Upper(app) + ".EXE", "-");
    ASSERT_TRUE(guardee.Started());
    const DWORD pid = guardee.Pid();

    const struct {
        std::string strName;
        BOOL bAppendExe;
        DWORD dwExpected;
    } cases[] = {
        {app + ".exe", FALSE, pid},
        {Upper(app) + ".EXE", FALSE, pid},
        {Upper(app) + ".exe", TRUE, pid},
        {app + ".exe", TRUE, pid}, // the name itself matches before the ".exe" form is tried
        {app, TRUE, pid},
        {Upper(app), TRUE, pid},
        {app, FALSE, 0},
        {app + ".ex", TRUE, 0},
        {app + ".exe.exe", TRUE, 0},
        {"sub\\" + app + ".exe", TRUE, 0},
        {guardee.ExePath(), TRUE, 0},
        {"", TRUE, 0},
    };
    CProcessGuard guard;
    for (const auto& c : cases)
        EXPECT_EQ(c.dwExpected, guard.LocateProcess(c.strName.c_str(), c.bAppendExe))
            << "name \"" << c.strName << "\", bAppendExe " << c.bAppendExe;
}

TEST(LocateProcess, ComparesBothBytesOfADoubleByteCharacterUnchanged)
{
    // In GBK, 丄 is 81 41 and 乤 is 81 61: their trail bytes look like 'A' and
    // 'a', yet they are two different characters, so two different programs.
    const std::string tag = Tagged("");
    CGuardeeProcess guardee("丄" + tag + ".exe", "-");
    ASSERT_TRUE(guardee.Started());

    CProcessGuard guard;
    EXPECT_EQ(guardee.Pid(), guard.LocateProcess(("丄" + Upper(tag) + ".EXE").c_str(), FALSE));
    EXPECT_EQ(guardee.Pid(), guard.LocateProcess(("丄" + tag).c_str(), TRUE));
    EXPECT_EQ(0u, guard.LocateProcess(("乤" + tag + ".exe").c_str(), TRUE));
}

TEST(LocateProcess, TheFirstOfTwoSameNamedProcessesInTheListingWins)
{
    // Wine lists processes in creation order, so the first started is first.
    const std::string name = Tagged("twin") + ".exe";
    CGuardeeProcess first(name, "-");
    CGuardeeProcess second(name, "-");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(second.Started());

    CProcessGuard guard;
    EXPECT_EQ(first.Pid(), guard.LocateProcess(name.c_str(), TRUE));
    first.Kill();
    EXPECT_EQ(second.Pid(), guard.LocateProcess(name.c_str(), TRUE));
    second.Kill();
    EXPECT_EQ(0u, guard.LocateProcess(name.c_str(), TRUE));
}

TEST(ProcessGuard, ClosesEveryProcessHandleItOpens)
{
    // The first round also opens what this thread keeps for good (its message
    // queue and the like); the second round must leave the count as it found it.
    DWORD nBefore = 0;
    for (int nRound = 0; nRound < 2; ++nRound) {
        const std::string name = Tagged("handles") + ".exe";
        CGuardeeProcess guardee(name, "a");
        ASSERT_TRUE(guardee.Started());
        nBefore = OpenHandleCount();
        ASSERT_NE(0u, nBefore);

        // A name that matches nothing opens every process of the listing.
        CProcessGuard guard;
        EXPECT_EQ(0u, guard.LocateProcess("no such program", TRUE));
        EXPECT_EQ(guardee.Pid(), guard.LocateProcess(name.c_str(), FALSE));
        EXPECT_TRUE(guard.ShutDownProcess(guardee.Pid(), FALSE));
        if (nRound == 1) {
            EXPECT_EQ(nBefore, OpenHandleCount());
        }
    }
}

// ---------------------------------------------------------------------------
// The listings, through their substitutable listing calls

struct FakeListing {
    DWORD nListed = 0;              // entries the system "has"
    bool bFail = false;             // the call fails
    std::vector<DWORD> arrSizes;    // byte sizes the call was given, in order
};
FakeListing g_listing;

// Identifiers 101, 102, ...; reports the bytes written, as EnumProcesses does.
BOOL WINAPI FakeEnumProcesses(DWORD* pIds, DWORD cb, DWORD* pcbReturned)
{
    g_listing.arrSizes.push_back(cb);
    if (g_listing.bFail)
        return FALSE;
    const DWORD n = std::min<DWORD>(cb / sizeof(DWORD), g_listing.nListed);
    for (DWORD i = 0; i < n; ++i)
        pIds[i] = 101 + i;
    *pcbReturned = n * sizeof(DWORD);
    return TRUE;
}

HMODULE FakeModule(DWORD nIndex)
{
    return reinterpret_cast<HMODULE>(static_cast<UINT_PTR>(0x10000) * (nIndex + 1));
}

// Reports the bytes that all modules need, as EnumProcessModules does.
BOOL WINAPI FakeEnumProcessModules(HANDLE, HMODULE* pModules, DWORD cb, DWORD* pcbNeeded)
{
    g_listing.arrSizes.push_back(cb);
    if (g_listing.bFail)
        return FALSE;
    const DWORD n = std::min<DWORD>(cb / sizeof(HMODULE), g_listing.nListed);
    for (DWORD i = 0; i < n; ++i)
        pModules[i] = FakeModule(i);
    *pcbNeeded = g_listing.nListed * sizeof(HMODULE);
    return TRUE;
}

TEST(ProcessEnumerator, HandsOutEveryEntryButTheFirstGrowingTheArrayUntilTheListingFits)
{
    const struct {
        DWORD nListed;
        bool bFail;
        std::vector<DWORD> arrSizes;
    } cases[] = {
        {0, false, {4096}},
        {1, false, {4096}},
        {2, false, {4096}},
        {1023, false, {4096}},
        {1024, false, {4096, 8192}},
        {3000, false, {4096, 8192, 16384}},
        {5, true, {4096}},
    };
    for (const auto& c : cases) {
        g_listing = FakeListing{c.nListed, c.bFail, {}};
        CProcessEnumerator processes(FakeEnumProcesses);
        std::vector<DWORD> arrIds;
        for (DWORD id = processes.FirstId(); id != 0; id = processes.NextId())
            arrIds.push_back(id);

        std::vector<DWORD> arrExpected;
        for (DWORD i = 1; !c.bFail && i < c.nListed; ++i)
            arrExpected.push_back(101 + i);
        EXPECT_EQ(arrExpected, arrIds) << c.nListed << " listed, fail " << c.bFail;
        EXPECT_EQ(c.arrSizes, g_listing.arrSizes) << c.nListed << " listed";
        EXPECT_EQ(0u, processes.NextId()) << "the end stays the end";
    }
}

TEST(ModuleEnumerator, FindsTheFirstModuleWhateverTheNumberOfModules)
{
    // The array is sized by sizeof(HMODULE), 8 bytes in this 64-bit build.
    const DWORD cbFirst = 1024 * sizeof(HMODULE);
    const struct {
        DWORD nListed;
        bool bFail;
        size_t nCalls;
        HMODULE hExpected;
    } cases[] = {
        {1, false, 1, FakeModule(0)},
        {1023, false, 1, FakeModule(0)},
        {1024, false, 2, FakeModule(0)},
        {5000, false, 2, FakeModule(0)},
        {0, false, 1, nullptr},
        {3, true, 1, nullptr},
    };
    for (const auto& c : cases) {
        g_listing = FakeListing{c.nListed, c.bFail, {}};
        CModuleEnumerator modules(GetCurrentProcessId(), FakeEnumProcessModules);
        EXPECT_EQ(c.hExpected, modules.FirstModule()) << c.nListed << " listed, fail " << c.bFail;
        ASSERT_EQ(c.nCalls, g_listing.arrSizes.size()) << c.nListed << " listed";
        EXPECT_EQ(cbFirst, g_listing.arrSizes.front());
        EXPECT_GT(g_listing.arrSizes.back(), c.nListed * sizeof(HMODULE)) << "the last array holds them all";
    }

    // A process that cannot be opened is not listed at all.
    g_listing = FakeListing{3, false, {}};
    CModuleEnumerator nobody(0, FakeEnumProcessModules);
    EXPECT_EQ(nullptr, nobody.FirstModule());
    EXPECT_TRUE(g_listing.arrSizes.empty());
}

TEST(ModuleEnumerator, TheFirstModuleOfARealProcessIsItsExecutable)
{
    CModuleEnumerator modules(GetCurrentProcessId());
    EXPECT_EQ(GetModuleHandleA(nullptr), modules.FirstModule());
}

// ---------------------------------------------------------------------------
// Window iterators, over windows of this test process

class OwnWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ProcessGuardTestWindow";
        RegisterClassA(&wc);
        m_hVisible1 = Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr);
        m_hVisible2 = Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr);
        m_hHidden = Create(WS_OVERLAPPEDWINDOW, nullptr);
        m_hChild = Create(WS_CHILD | WS_VISIBLE, m_hVisible1);
    }
    void TearDown() override
    {
        for (HWND hwnd : {m_hChild, m_hHidden, m_hVisible2, m_hVisible1})
            DestroyWindow(hwnd);
    }

    static HWND Create(DWORD dwStyle, HWND hParent)
    {
        return CreateWindowExA(0, "ProcessGuardTestWindow", "", dwStyle, 0, 0, 100, 100, hParent, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }
    static std::vector<HWND> Collect(CWindowIterator& it)
    {
        EnumWindows(CWindowIterator::EnumWindowsCallback, reinterpret_cast<LPARAM>(&it));
        std::vector<HWND> arrWindows;
        for (HWND hwnd = it.FirstWindow(); hwnd; hwnd = it.NextWindow())
            arrWindows.push_back(hwnd);
        return arrWindows;
    }
    static bool Contains(const std::vector<HWND>& arr, HWND hwnd)
    {
        return std::find(arr.begin(), arr.end(), hwnd) != arr.end();
    }

    HWND m_hVisible1 = nullptr, m_hVisible2 = nullptr, m_hHidden = nullptr, m_hChild = nullptr;
};

TEST_F(OwnWindows, MainWindowIteratorKeepsTheTopLevelWindowsOfOneProcess)
{
    CMainWindowIterator visible(GetCurrentProcessId(), TRUE, 16);
    std::vector<HWND> arrVisible = Collect(visible);
    std::sort(arrVisible.begin(), arrVisible.end());
    std::vector<HWND> arrExpected = {m_hVisible1, m_hVisible2};
    std::sort(arrExpected.begin(), arrExpected.end());
    EXPECT_EQ(arrExpected, arrVisible) << "no hidden, child or other process's window";

    CMainWindowIterator all(GetCurrentProcessId(), FALSE, 16);
    const std::vector<HWND> arrAll = Collect(all);
    EXPECT_TRUE(Contains(arrAll, m_hVisible1) && Contains(arrAll, m_hVisible2) && Contains(arrAll, m_hHidden));
    EXPECT_FALSE(Contains(arrAll, m_hChild));

    CMainWindowIterator others(GetCurrentProcessId() + 4, FALSE, 16);
    EXPECT_TRUE(Collect(others).empty());

    CWindowIterator everyone(4096);
    const std::vector<HWND> arrEveryone = Collect(everyone);
    EXPECT_TRUE(Contains(arrEveryone, m_hHidden));
}

TEST_F(OwnWindows, IteratorStoresNoMoreThanItsCapacityInTheSystemsOrder)
{
    CMainWindowIterator roomy(GetCurrentProcessId(), TRUE, 16);
    const std::vector<HWND> arrOrder = Collect(roomy);
    ASSERT_EQ(2u, arrOrder.size());

    CMainWindowIterator one(GetCurrentProcessId(), TRUE, 1);
    EXPECT_EQ(std::vector<HWND>{arrOrder[0]}, Collect(one));
    EXPECT_EQ(arrOrder[0], one.FirstWindow()) << "FirstWindow starts the walk again";
    EXPECT_EQ(nullptr, one.NextWindow());

    CMainWindowIterator none(GetCurrentProcessId(), TRUE, 0);
    EXPECT_TRUE(Collect(none).empty());
}

// ---------------------------------------------------------------------------
// Shutdown

TEST(ShutDownProcess, WindowsThatAgreeAreAskedAndClosedAndTheProcessEndsByItself)
{
    // a: visible, agrees, closes; n: hidden, never asked nor closed.
    const struct {
        const char* pszWindows;
        BOOL bForce;
    } cases[] = {
        {"a", TRUE},
        {"aaa", FALSE},
        {"ana", TRUE},
    };
    for (const auto& c : cases) {
        CGuardeeProcess guardee(Tagged("agree") + ".exe", c.pszWindows);
        ASSERT_TRUE(guardee.Started()) << c.pszWindows;
        EXPECT_TRUE(CProcessGuard().ShutDownProcess(guardee.Pid(), c.bForce)) << c.pszWindows;
        EXPECT_TRUE(guardee.WaitForExit(5000)) << c.pszWindows;
        EXPECT_EQ(CGuardeeProcess::kExitByItself, guardee.ExitCode()) << c.pszWindows << ": not terminated";
        for (int i = 0; c.pszWindows[i]; ++i)
            EXPECT_EQ(c.pszWindows[i] == 'n' ? "" : "query close", guardee.Events(i))
                << c.pszWindows << ", window " << i;
    }
}

TEST(ShutDownProcess, TheSecondOfThreeWindowsRefusingStopsTheShutdown)
{
    CGuardeeProcess guardee(Tagged("refuse") + ".exe", "ara");
    ASSERT_TRUE(guardee.Started());
    const std::vector<int> arrOrder = guardee.VisibleWindowOrder();
    ASSERT_EQ(3u, arrOrder.size());
    ASSERT_EQ(1, arrOrder[1]) << "the refusing window is second in the system's order";

    EXPECT_FALSE(CProcessGuard().ShutDownProcess(guardee.Pid(), TRUE));
    EXPECT_TRUE(guardee.WaitForReportLine("close " + std::to_string(arrOrder[0]), 5000));
    EXPECT_EQ("query close", guardee.Events(arrOrder[0]));
    EXPECT_EQ("query", guardee.Events(arrOrder[1]));
    EXPECT_EQ("", guardee.Events(arrOrder[2]));
    EXPECT_TRUE(guardee.IsRunning()) << "not terminated";
}

TEST(ShutDownProcess, AHungWindowCountsAsARefusal)
{
    CGuardeeProcess guardee(Tagged("hung") + ".exe", "h");
    ASSERT_TRUE(guardee.Started());
    EXPECT_FALSE(CProcessGuard().ShutDownProcess(guardee.Pid(), TRUE));
    EXPECT_TRUE(guardee.IsRunning()) << "not terminated";
}

TEST(ShutDownProcess, AProcessThatNoLongerExistsCountsAsEnded)
{
    CGuardeeProcess guardee(Tagged("gone") + ".exe", "a");
    ASSERT_TRUE(guardee.Started());
    const DWORD pid = guardee.Pid();
    guardee.Kill();
    EXPECT_TRUE(CProcessGuard().ShutDownProcess(pid, FALSE));
    EXPECT_TRUE(CProcessGuard().ShutDownProcess(pid, TRUE));
}

// The cases that reach the 5-second wait run side by side, one thread each.
TEST(ShutDownProcess, AProcessThatOutlivesTheWaitIsTerminatedOnlyWhenForced)
{
    const DWORD kTerminated = 0;
    const struct {
        const char* pszWindows; // i: visible, agrees, ignores WM_CLOSE; n: hidden
        DWORD dwExitAfter;      // ms after which the process ends by itself; 0: never
        BOOL bForce;
        BOOL bExpected;
        DWORD dwExitCode;       // STILL_ACTIVE: left running
        const char* pszEvents;  // of window 0
    } cases[] = {
        {"i", 0, TRUE, TRUE, kTerminated, "query close"},
        {"i", 0, FALSE, FALSE, STILL_ACTIVE, "query close"},
        {"-", 0, TRUE, TRUE, kTerminated, ""},
        {"n", 0, FALSE, FALSE, STILL_ACTIVE, ""},
        {"-", 1000, FALSE, TRUE, CGuardeeProcess::kExitByItself, ""},
    };
    const size_t nCases = sizeof cases / sizeof cases[0];

    std::vector<std::unique_ptr<CGuardeeProcess>> guardees;
    for (size_t i = 0; i < nCases; ++i) {
        guardees.emplace_back(new CGuardeeProcess(Tagged("slow" + std::to_string(i)) + ".exe",
                                                  cases[i].pszWindows, cases[i].dwExitAfter));
        ASSERT_TRUE(guardees.back()->Started()) << "case " << i;
    }
    std::vector<BOOL> arrResults(nCases, -1);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < nCases; ++i)
        threads.emplace_back([&, i] {
            arrResults[i] = CProcessGuard().ShutDownProcess(guardees[i]->Pid(), cases[i].bForce);
        });
    for (std::thread& t : threads)
        t.join();

    for (size_t i = 0; i < nCases; ++i) {
        const auto& c = cases[i];
        CGuardeeProcess& guardee = *guardees[i];
        EXPECT_EQ(c.bExpected, arrResults[i]) << "case " << i;
        if (c.dwExitCode != STILL_ACTIVE) {
            EXPECT_TRUE(guardee.WaitForExit(5000)) << "case " << i;
        }
        EXPECT_EQ(c.dwExitCode, guardee.ExitCode()) << "case " << i;
        EXPECT_EQ(c.pszEvents, guardee.Events(0)) << "case " << i;
    }
}

} // namespace
