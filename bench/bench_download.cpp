// Download throughput and memory against nginx on loopback (scripts/bench.sh
// starts nginx, pins the Wine side and runs this program).
//   (a)  FetchFile as the program runs it, on the dialog's thread;
//   (b)  the same WinINet calls and flags with 2048-byte reads, each piece
//        followed by the ten message-queue passes, and nothing else;
//   (b0) (b) without the passes;
//   (c)  curl, measured by the script and passed in.
//
// Under Wine an empty PeekMessageA (and each socket read) is a round trip to
// wineserver, whose cost changes several-fold with the scheduler's placement
// of the two (same CPU or not); that can flip from one second to the next.
// The script pins both to one CPU. So that the machine's other load weighs
// alike on all variants, each round runs the three on the same file, one
// after the other (a b b0, then b0 b a), on the same thread of the same
// process; the figures are medians over the rounds, and a/b is also taken
// within each round.
//
//   bench_download.exe <port> <path> <bytes> [--rounds N] [--curl-mbps X]...
//       the rounds; --curl-mbps once per curl measurement
//   bench_download.exe <port> <path> <bytes> --memory
//       one FetchFile in this fresh process: its peak working set
#include "framework/Afx.h"
#include "tests/support/NetDialogHost.h"
#include "tests/support/TestFiles.h"

#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD REQUEST_FLAGS = 0x20200010;
const char LOCAL_NAME[] = "bench.bin";
enum Variant { FETCH_FILE, BARE_PASSES, BARE_READS, VARIANT_COUNT };

struct Options {
    unsigned short nPort = 0;
    std::string path;
    unsigned long long ullBytes = 0;
    int nRounds = 16;
    bool bMemory = false;
    std::vector<double> curlMBps;
};

class CStopwatch {
public:
    CStopwatch() { QueryPerformanceCounter(&m_start); }
    double Seconds() const
    {
        LARGE_INTEGER now, freq;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&freq);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) / static_cast<double>(freq.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

double MBps(unsigned long long ullBytes, double dSeconds)
{
    return dSeconds > 0 ? static_cast<double>(ullBytes) / dSeconds / 1e6 : 0;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double PeakWorkingSetMiB()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0;
}

void PumpTenPasses()
{
    MSG msg;
    for (int i = 0; i < 10; ++i) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// (b) and (b0): the platform's floor for this design. Returns the bytes read.
unsigned long long BareLoop(const Options& options, bool bPasses)
{
    CInternetHandle hSession(InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    CInternetHandle hConnection(InternetConnectA(hSession, "127.0.0.1", options.nPort, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, 1));
    CInternetHandle hRequest(HttpOpenRequestA(hConnection, "GET", options.path.c_str(), "HTTP/1.0", nullptr,
                                              nullptr, REQUEST_FLAGS, 1));
    unsigned long long ullReceived = 0;
    if (!HttpSendRequestA(hRequest, nullptr, 0, nullptr, 0))
        return 0;
    char buffer[2048];
    DWORD dwRead = 0;
    while (InternetReadFile(hRequest, buffer, sizeof buffer, &dwRead) && dwRead > 0) {
        ullReceived += dwRead;
        if (bPasses)
            PumpTenPasses();
    }
    return ullReceived;
}

// The installation FetchFile writes into, and the settings beside this
// program that give the dialog the server and port.
class CBenchSetup {
public:
    explicit CBenchSetup(const Options& options)
        : m_settings(ExecutableDir() + "\\Update.ini"),
          m_url("http://127.0.0.1:" + std::to_string(options.nPort) + options.path)
    {
        WriteWholeFile(m_settings, "[SystemInfo]\r\nServer=127.0.0.1\r\nPort=" + std::to_string(options.nPort) +
                                       "\r\nFileList=\r\n[Update]\r\nUpdateInfo=/\r\n");
    }
    ~CBenchSetup() { DeleteFileA(m_settings.c_str()); }
    CBenchSetup(const CBenchSetup&) = delete;
    CBenchSetup& operator=(const CBenchSetup&) = delete;

    const std::string& InstallDir() const { return m_installDir.Path(); }
    // Every run starts alike: no installed copy to replace, and no copy of
    // the body in WinINet's cache (the request flags make it keep one).
    void Reset() const
    {
        DeleteFileA((m_installDir / LOCAL_NAME).c_str());
        DeleteUrlCacheEntryA(m_url.c_str());
    }

private:
    std::string m_settings;
    std::string m_url;
    CTempDir m_installDir;
};

// One run of one variant on the dialog's thread. Returns MB/s, 0 when the
// download failed or was short.
double RunVariant(CNetDialogHost& host, const CBenchSetup& setup, const Options& options, Variant variant)
{
    double dSeconds = 0;
    bool bComplete = false;
    host.Run([&](CUpdateDlg& dlg) {
        CStopwatch watch;
        if (variant == FETCH_FILE) {
            dlg.m_strAppDir = setup.InstallDir().c_str();
            CString strResult;
            bComplete = dlg.FetchFile(options.path.c_str(), LOCAL_NAME, strResult) != FALSE;
        } else {
            bComplete = BareLoop(options, variant == BARE_PASSES) == options.ullBytes;
        }
        dSeconds = watch.Seconds();
    });
    setup.Reset();
    return bComplete ? MBps(options.ullBytes, dSeconds) : 0;
}

void PrintSummaryLine(const char* label, const std::vector<double>& values)
{
    const auto range = std::minmax_element(values.begin(), values.end());
    std::printf("%-32s %8.2f %8.2f %8.2f\n", label, Median(values), *range.first, *range.second);
}

int RunRounds(const Options& options)
{
    CBenchSetup setup(options);
    CNetDialogHost host;
    setup.Reset();
    std::vector<double> mbps[VARIANT_COUNT], pairedAB;
    bool bFailed = false;

    std::printf("%d rounds of %.1f MiB (%.0f MiB per variant)\n", options.nRounds,
                static_cast<double>(options.ullBytes) / 1048576.0,
                static_cast<double>(options.ullBytes) * options.nRounds / 1048576.0);
    std::printf("round  order       (a) MB/s  (b) MB/s (b0) MB/s   a/b\n");
    for (int nRound = 1; nRound <= options.nRounds; ++nRound) {
        const bool bForward = nRound % 2 == 1;
        double dRound[VARIANT_COUNT] = {};
        bool bRoundFailed = false;
        for (int i = 0; i < VARIANT_COUNT; ++i) {
            const Variant variant = static_cast<Variant>(bForward ? i : VARIANT_COUNT - 1 - i);
            dRound[variant] = RunVariant(host, setup, options, variant);
            if (dRound[variant] <= 0)
                bRoundFailed = true;
            else
                mbps[variant].push_back(dRound[variant]);
        }
        const double dRatio = dRound[BARE_PASSES] > 0 ? dRound[FETCH_FILE] / dRound[BARE_PASSES] : 0;
        if (dRound[FETCH_FILE] > 0 && dRound[BARE_PASSES] > 0)
            pairedAB.push_back(dRatio);
        std::printf("%5d  %-10s %9.2f %9.2f %9.2f %6.2f%s\n", nRound, bForward ? "a b b0" : "b0 b a",
                    dRound[FETCH_FILE], dRound[BARE_PASSES], dRound[BARE_READS], dRatio,
                    bRoundFailed ? "  FAILED" : "");
        std::fflush(stdout);
        bFailed = bFailed || bRoundFailed;
    }
    if (bFailed || pairedAB.empty() || mbps[BARE_READS].empty()) {
        std::printf("a download failed or came short: no summary\n");
        return 1;
    }

    const double dA = Median(mbps[FETCH_FILE]), dB = Median(mbps[BARE_PASSES]), dB0 = Median(mbps[BARE_READS]);
    std::printf("\nMB/s                               median      min      max\n");
    PrintSummaryLine("(a)  FetchFile", mbps[FETCH_FILE]);
    PrintSummaryLine("(b)  WinINet 2048 B + 10 passes", mbps[BARE_PASSES]);
    PrintSummaryLine("(b0) WinINet 2048 B", mbps[BARE_READS]);
    if (!options.curlMBps.empty())
        PrintSummaryLine("(c)  curl", options.curlMBps);
    std::printf("a/b  = %.2f (medians); per round: median %.2f, min %.2f, max %.2f\n", dA / dB, Median(pairedAB),
                *std::min_element(pairedAB.begin(), pairedAB.end()),
                *std::max_element(pairedAB.begin(), pairedAB.end()));
    std::printf("b/b0 = %.2f (medians)\n", dB / dB0);
    if (!options.curlMBps.empty())
        std::printf("b0/c = %.4f (medians)\n", dB0 / Median(options.curlMBps));
    return 0;
}

int MeasureMemory(const Options& options)
{
    CBenchSetup setup(options);
    CNetDialogHost host;
    setup.Reset();
    const double dBefore = PeakWorkingSetMiB();
    const double dMBps = RunVariant(host, setup, options, FETCH_FILE);
    std::printf("%6.0f MiB file: peak working set %.1f MiB (%.1f MiB before FetchFile); FetchFile %.2f MB/s%s\n",
                static_cast<double>(options.ullBytes) / 1048576.0, PeakWorkingSetMiB(), dBefore, dMBps,
                dMBps > 0 ? "" : "  FAILED");
    return dMBps > 0 ? 0 : 1;
}

bool Parse(int argc, char** argv, Options& options)
{
    if (argc < 4)
        return false;
    options.nPort = static_cast<unsigned short>(atoi(argv[1]));
    options.path = argv[2];
    options.ullBytes = strtoull(argv[3], nullptr, 10);
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--curl-mbps") == 0 && i + 1 < argc)
            options.curlMBps.push_back(atof(argv[++i]));
        else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            options.nRounds = atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--memory") == 0)
            options.bMemory = true;
        else
            return false;
    }
    return options.nPort != 0 && options.ullBytes > 0 && options.nRounds > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_download <port> <path> <bytes> [--rounds N] [--curl-mbps X]...\n"
                             "       bench_download <port> <path> <bytes> --memory\n");
        return 2;
    }
    return options.bMemory ? MeasureMemory(options) : RunRounds(options);
}
