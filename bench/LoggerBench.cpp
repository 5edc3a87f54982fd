// Lines per second of the diagnostic log at debug level, beside the same
// lines appended by a plain open-append-close loop with no mutex: through the
// C library's streams (the goal's baseline) and through raw system calls
// (the physical floor: one size query per line fewer than the logger needs).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchKit.h"
#include "support/CDiagnosticsConfig.h"
#include "support/CFileLogger.h"
#include "support/Logging.h"
#include "support/Registry.h"

namespace {

constexpr int kProcesses = 4;
constexpr int kLinesPerProcess = 5000;

const char16_t kMessage[] = u"CVeskBitDevice::CaptureImage(): VeskBitGetImage() returns 0x00002000";

std::string g_plainPath;
std::string g_plainLine;

void Configure(const std::string& folder)
{
    const CMyByteArray record =
        CDiagnosticsConfig::BuildRecord(false, 0, WString(), true, 4, pal::FromUtf8(folder));
    HKEY key = nullptr;
    RegCreateKeyEx64(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Diagnostics"), 0, nullptr, 0,
                     KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, W("Configuration"), 0, REG_BINARY, record.GetData(), record.GetSize());
    RegCloseKey(key);
}

void PlainAppend()
{
    const int fd = open(g_plainPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, g_plainLine.data(), g_plainLine.size()) < 0)
        std::abort();
    close(fd);
}

// The same append through the C library's streams, as a plain logger without
// mutex or rollover writes its lines.
void StdioAppend()
{
    FILE* file = std::fopen(g_plainPath.c_str(), "ab");
    if (!file || std::fputs(g_plainLine.c_str(), file) < 0)
        std::abort();
    std::fclose(file);
}

void LoggerLine() { LogDebug(kMessage); }

// Empties both files, out of the timed region. A run writes megabytes a
// second, so without this the log would roll over several times a second and
// every line would retry the rename that a same-second name refuses: a state
// no real process reaches.
void EmptyFiles()
{
    std::filesystem::resize_file(g_plainPath, 0);
    std::filesystem::resize_file(pal::ToPosixPath(GetInstance()->GetLogFilePath().c_str()), 0);
}

template <void (*TWrite)()>
void OneThread(benchmark::State& state)
{
    constexpr int kLinesBetweenEmptying = 10000;
    int nSinceEmptied = 0;
    for (auto _ : state) {
        TWrite();
        if (++nSinceEmptied == kLinesBetweenEmptying) {
            nSinceEmptied = 0;
            state.PauseTiming();
            EmptyFiles();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}

template <void (*TWrite)()>
void FourProcesses(benchmark::State& state)
{
    for (auto _ : state) {
        EmptyFiles();
        const auto start = std::chrono::steady_clock::now();
        pid_t children[kProcesses];
        for (pid_t& child : children) {
            child = fork();
            if (child == 0) {
                for (int i = 0; i < kLinesPerProcess; ++i)
                    TWrite();
                _exit(0);
            }
        }
        for (const pid_t child : children)
            waitpid(child, nullptr, 0);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetItemsProcessed(state.iterations() * kProcesses * kLinesPerProcess);
}

BENCHMARK(OneThread<LoggerLine>)->Name("BM_LoggerDebugLine");
BENCHMARK(OneThread<PlainAppend>)->Name("BM_PlainAppend");
BENCHMARK(OneThread<StdioAppend>)->Name("BM_StdioAppend");
BENCHMARK(FourProcesses<LoggerLine>)->Name("BM_LoggerFourProcesses")->UseManualTime()->Iterations(3);
BENCHMARK(FourProcesses<PlainAppend>)->Name("BM_PlainAppendFourProcesses")->UseManualTime()->Iterations(3);
BENCHMARK(FourProcesses<StdioAppend>)->Name("BM_StdioAppendFourProcesses")->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    benchkit::CScratch scratch;
    const std::string logs = scratch.Root() + "/logs";
    std::filesystem::create_directories(logs);
    Configure(logs);
    InitFileLoggerFacility();
    // The baseline writes the very bytes of a logger line.
    g_plainPath = logs + "/plain.txt";
    g_plainLine = "[0x00001234][0x00001234] Mon Feb 14 09:05:07 2011 - DEBUG   - " +
                  pal::ToUtf8(kMessage) + "\r\n";
    std::ofstream(g_plainPath).flush();
    const int result = benchkit::RunAndReport(
        argc, argv,
        {{"logger, one thread / stdio append", "BM_LoggerDebugLine", "BM_StdioAppend", 0.7},
         {"logger, one thread / raw system calls", "BM_LoggerDebugLine", "BM_PlainAppend", 0.0},
         {"logger, 4 processes / stdio append", "BM_LoggerFourProcesses", "BM_StdioAppendFourProcesses", 0.0},
         {"logger, 4 processes / raw system calls", "BM_LoggerFourProcesses", "BM_PlainAppendFourProcesses", 0.0}});
    ReleaseFileLoggerFacility();
    return result;
}
