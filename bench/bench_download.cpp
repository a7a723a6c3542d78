// Download throughput and memory, all against the same file on the same
// loopback server (scripts/bench.sh starts nginx and runs this program):
//   (a)  FetchFile as the program runs it, on the dialog's thread;
//   (b)  the same WinINet calls and flags with 2048-byte reads, each piece
//        followed by the ten message-queue passes, and nothing else;
//   (b0) (b) without the passes;
//   (c)  curl, measured by the script and passed in.
// Prints the throughputs, the ratios a/b, b/b0 and b0/c, and the process's
// peak working set right after (a). The runs go (b), (a), (b0): (a) and (b)
// side by side, since the machine's load drifts.
//
//   bench_download.exe <port> <path> <bytes> [--curl-mbps X]
#include "framework/Afx.h"
#include "tests/support/NetDialogHost.h"
#include "tests/support/TestFiles.h"

#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const DWORD REQUEST_FLAGS = 0x20200010;
const char LOCAL_NAME[] = "bench.bin";

struct Options {
    unsigned short nPort = 0;
    std::string path;
    double dBytes = 0;
    double dCurlMBps = 0;
};

double MBps(double dBytes, double dSeconds) { return dSeconds > 0 ? dBytes / dSeconds / 1e6 : 0; }

double Seconds(LARGE_INTEGER start)
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(freq.QuadPart);
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

// (b) and (b0): the platform's floor for this design. Returns seconds.
double BareLoop(const Options& options, bool bPasses, unsigned long long& ullReceived)
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    CInternetHandle hSession(InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    CInternetHandle hConnection(InternetConnectA(hSession, "127.0.0.1", options.nPort, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, 1));
    CInternetHandle hRequest(HttpOpenRequestA(hConnection, "GET", options.path.c_str(), "HTTP/1.0", nullptr,
                                              nullptr, REQUEST_FLAGS, 1));
    ullReceived = 0;
    if (!HttpSendRequestA(hRequest, nullptr, 0, nullptr, 0))
        return Seconds(start);
    char buffer[2048];
    DWORD dwRead = 0;
    while (InternetReadFile(hRequest, buffer, sizeof buffer, &dwRead) && dwRead > 0) {
        ullReceived += dwRead;
        if (bPasses)
            PumpTenPasses();
    }
    return Seconds(start);
}

bool Parse(int argc, char** argv, Options& options)
{
    if (argc < 4)
        return false;
    options.nPort = static_cast<unsigned short>(atoi(argv[1]));
    options.path = argv[2];
    options.dBytes = atof(argv[3]);
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--curl-mbps") == 0 && i + 1 < argc)
            options.dCurlMBps = atof(argv[++i]);
    }
    return options.nPort != 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_download <port> <path> <bytes> [--curl-mbps X]\n");
        return 2;
    }
    const std::string settings = ExecutableDir() + "\\Update.ini";
    WriteWholeFile(settings, "[SystemInfo]\r\nServer=127.0.0.1\r\nPort=" + std::to_string(options.nPort) +
                                 "\r\nFileList=\r\n[Update]\r\nUpdateInfo=/\r\n");
    CTempDir installDir;

    CNetDialogHost host;
    unsigned long long ullB = 0, ullB0 = 0;
    double dB = 0, dB0 = 0;
    host.Run([&](CUpdateDlg&) { dB = BareLoop(options, true, ullB); });

    BOOL bFetched = FALSE;
    double dFetch = 0;
    host.Run([&](CUpdateDlg& dlg) {
        dlg.m_strAppDir = installDir.Path().c_str();
        CString strResult;
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        bFetched = dlg.FetchFile(options.path.c_str(), LOCAL_NAME, strResult);
        dFetch = Seconds(start);
    });
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    DeleteFileA((installDir / LOCAL_NAME).c_str());

    host.Run([&](CUpdateDlg&) { dB0 = BareLoop(options, false, ullB0); });

    const double dA = MBps(options.dBytes, dFetch);
    std::printf("file %.0f MiB\n", options.dBytes / (1 << 20));
    std::printf("(a)  FetchFile                      %8.1f MB/s  %6.1f s%s\n", dA, dFetch, bFetched ? "" : "  FAILED");
    const double dMBpsB = MBps(static_cast<double>(ullB), dB);
    const double dMBpsB0 = MBps(static_cast<double>(ullB0), dB0);
    std::printf("(b)  WinINet 2048 B + 10 passes     %8.1f MB/s  %6.1f s\n", dMBpsB, dB);
    std::printf("(b0) WinINet 2048 B                 %8.1f MB/s  %6.1f s\n", dMBpsB0, dB0);
    if (options.dCurlMBps > 0)
        std::printf("(c)  curl                           %8.1f MB/s\n", options.dCurlMBps);
    std::printf("a/b  = %.2f\n", dMBpsB > 0 ? dA / dMBpsB : 0);
    std::printf("b/b0 = %.2f\n", dMBpsB0 > 0 ? dMBpsB / dMBpsB0 : 0);
    if (options.dCurlMBps > 0)
        std::printf("b0/c = %.4f\n", dMBpsB0 / options.dCurlMBps);
    std::printf("peak working set after (a): %.1f MiB\n", counters.PeakWorkingSetSize / 1048576.0);
    DeleteFileA(settings.c_str());
    return bFetched ? 0 : 1;
}
