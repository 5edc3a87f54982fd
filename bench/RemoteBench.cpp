// A remote capture's round trip, start to image callback: this process is the
// Remote Desktop session, vesk-rdp-client the client machine (its add-in the
// library, its scanner the simulator with the finger already on it); beside
// one image message sealed and opened, the cost the channel cannot avoid.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "BenchKit.h"
#include "channel/CVCData.h"
#include "drivers/Drivers.h"
#include "sim/common/RidgeGenerator.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::mutex g_lock;
std::condition_variable g_changed;
bool g_bImage = false;
bool g_bEnded = false;

uint32_t VESK_CALLBACK OnEvent(uintptr_t, uint32_t nEvent, uintptr_t, uintptr_t)
{
    const std::lock_guard<std::mutex> guard(g_lock);
    g_bImage = g_bImage || nEvent == FS_EVENT_IMAGE;
    g_bEnded = g_bEnded || nEvent == FS_EVENT_CAPTURE_ENDED;
    g_changed.notify_all();
    return 0;
}

// The start to the image callback; the rest of the cycle (release, drain,
// end) is waited for outside the timing.
void BM_RemoteRoundTrip(benchmark::State& state)
{
    for (auto _ : state) {
        {
            const std::lock_guard<std::mutex> guard(g_lock);
            g_bImage = g_bEnded = false;
        }
        const auto tStart = std::chrono::steady_clock::now();
        if (CSensor::StartExtraction(&OnEvent, 0, 0, 0, 0, 1, 1, 0) != 0) {
            state.SkipWithError("the capture did not start");
            return;
        }
        std::unique_lock<std::mutex> lock(g_lock);
        if (!g_changed.wait_for(lock, std::chrono::seconds(10), [] { return g_bImage; })) {
            state.SkipWithError("no image within 10 s");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count());
        g_changed.wait_for(lock, std::chrono::seconds(10), [] { return g_bEnded; });
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ImageMessage(benchmark::State& state)
{
    const vsim::CGreyImage ridges = vsim::GenerateRidges(240, 368, 11, 0);
    CMyByteArray pixels(240 * 368);
    std::memcpy(pixels.GetData(), ridges.GetPixels().data(), pixels.GetSize());
    CVCData message;
    message.SetCmd(FS_EVENT_IMAGE);
    message.SetCallingProcessID(1);
    message.SetImage(pixels, 240, 368);
    for (auto _ : state) {
        CMyByteArray envelope;
        CVCData received;
        if (!message.Serialize(envelope) || !received.Deserialize(envelope))
            state.SkipWithError("the message did not survive");
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_RemoteRoundTrip)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ImageMessage)->Unit(benchmark::kMillisecond);

// The client machine: its own registry with the add-in registered and the
// finger on the scanner, the library and its scanner library in its system
// folder, and its Remote Desktop client listening.
pid_t StartClientMachine(const std::string& sRoot, const std::string& sSocket)
{
    const std::string sBin = fs::path(VESK_RDP_CLIENT_EXE).parent_path().string();
    for (const char* folder : {"registry", "system32", "objects"})
        fs::create_directories(sRoot + "/" + folder);
    std::vector<std::string> env = {"VESK_REGISTRY_DIR=" + sRoot + "/registry",
                                    "VESK_SYSTEM_DIR=" + sRoot + "/system32",
                                    "VESK_OBJECTS_DIR=" + sRoot + "/objects"};
    std::string sPrefix;
    for (const std::string& s : env)
        sPrefix += s + " ";
    const std::string sSetup = sPrefix + sBin + "/vesk-admin sim veskbit delay 0 >/dev/null && " + sPrefix +
                               sBin + "/vesk-capture detect >/dev/null";
    if (std::system(sSetup.c_str()) != 0)
        return -1;
    fs::create_symlink(sBin + "/libveskSensor.so", sRoot + "/system32/libveskSensorx64.so");
    fs::create_symlink(sBin + "/libveskbit2.so", sRoot + "/system32/libveskbit2.so");
    for (char** p = environ; *p; ++p)
        if (std::string(*p).rfind("VESK_", 0) != 0)
            env.push_back(*p);
    std::vector<char*> envp, argv;
    for (std::string& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string sExe = VESK_RDP_CLIENT_EXE, sFlag = "--socket", sPath = sSocket, sQuiet = "--seconds",
                sLimit = "600";
    argv = {sExe.data(), sFlag.data(), sPath.data(), sQuiet.data(), sLimit.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t nPid = -1;
    const int nResult = posix_spawn(&nPid, sExe.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (nResult != 0)
        return -1;
    for (int i = 0; i < 200 && !fs::exists(sSocket); ++i)
        usleep(10000);
    return nPid;
}

}  // namespace

CVeskBitDevice* GetVeskBitSensor() { return nullptr; }
Authentec9Sensor* GetAuthentec9Sensor() { return nullptr; }
CSensor* GetUpekSensor() { return nullptr; }
std::vector<WString>& SensorLookupOrder()
{
    static std::vector<WString> order;
    return order;
}

int main(int argc, char** argv)
{
    benchkit::CScratch scratch;
    const std::string sSocket = scratch.Root() + "/rdp.sock";
    const pid_t nClient = StartClientMachine(scratch.Root() + "/client", sSocket);
    if (nClient <= 0) {
        std::fprintf(stderr, "remote_bench: the client machine did not start\n");
        return 1;
    }
    setenv("VESK_RDP_SESSION", sSocket.c_str(), 1);
    // The message runs faster: the inverse ratio's goal is a round trip of at
    // most three message costs.
    const int nResult = benchkit::RunAndReport(
        argc, argv,
        {{"remote round trip / image message, per s (cost <= 3x)", "BM_RemoteRoundTrip", "BM_ImageMessage", 1 / 3.0}});
    kill(nClient, SIGINT);
    waitpid(nClient, nullptr, 0);
    return nResult;
}
