// Front-end cost per image from a driver that answers at once: fitting, the
// snapshot-setting check, filling the caller's record, the callback and the
// release; beside the floor of the same buffer work done directly.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>
#include <memory>
#include <vector>

#include "BenchKit.h"
#include "capture/ExtractionThreadData.h"
#include "drivers/Drivers.h"
#include "image/CRawImg.h"

namespace {

constexpr uint32_t kWidth = 240;
constexpr uint32_t kHeight = 368;
constexpr size_t kWorkingSize = 400000;

// Hands over a ready 240 x 368 image, fitted to the frame as the families do.
class CInstantSensor : public CSensor {
public:
    CInstantSensor() : m_pixels(kWidth * kHeight)
    {
        for (uint32_t i = 0; i < m_pixels.GetSize(); ++i)
            m_pixels.ElementAt(i) = static_cast<uint8_t>(i * 7);
    }
    int32_t CaptureImage(CRawImg* pImage) override
    {
        if (!pImage->SetImage(m_pixels, kWidth, kHeight, 8))
            return -1;
        pImage->FitToFrame(kWidth, kHeight);
        return 0;
    }
    void CloseSensor() override {}
    bool IsSensorAttached() override { return true; }

private:
    CMyByteArray m_pixels;
};

CInstantSensor g_sensor;
uint64_t g_checksum = 0;

uint32_t VESK_CALLBACK ReadFirstRow(uintptr_t, uint32_t code, uintptr_t data, uintptr_t)
{
    if (code == FS_EVENT_IMAGE) {
        const auto* image = reinterpret_cast<const FingerscannerImage*>(data);
        g_checksum += image->pixels[0] + image->pixels[image->width - 1];
    }
    return 0;
}

void BM_FrontEndPerImage(benchmark::State& state)
{
    ExtractionThreadData data;
    data.type = FS_TYPE_UPEK;  // a family whose driver fits its images
    data.sensor.store(&g_sensor);
    data.callback.store(&ReadFirstRow);
    CRawImg image;
    for (auto _ : state)
        CSensor::GetImageFromSensor(&data, &image);
    state.SetItemsProcessed(state.iterations());
}

// The same memory work without the front end: the pixels stored, the fit's
// two zeroed 400,000-byte working buffers filled, and the result copied into
// a fresh caller buffer of 400,000 bytes. Working buffers are kept between
// images, as any direct implementation would keep them.
void BM_BufferFloor(benchmark::State& state)
{
    const std::vector<uint8_t> source(kWidth * kHeight, 7);
    std::vector<uint8_t> stored(source.size());
    std::vector<uint8_t> first(kWorkingSize);
    std::vector<uint8_t> second(kWorkingSize);
    for (auto _ : state) {
        std::memcpy(stored.data(), source.data(), source.size());
        std::memset(first.data(), 0, kWorkingSize);
        std::memcpy(first.data(), stored.data(), stored.size());
        std::memset(second.data(), 0, kWorkingSize);
        std::memcpy(second.data(), first.data(), stored.size());
        std::memcpy(stored.data(), second.data(), stored.size());
        std::unique_ptr<uint8_t[]> result(new uint8_t[kWorkingSize]);
        std::memcpy(result.get(), stored.data(), stored.size());
        g_checksum += result[0] + result[kWidth - 1];
        benchmark::DoNotOptimize(result.get());
    }
    state.SetItemsProcessed(state.iterations());
}

// CPU a capture uses while its attempts keep failing at once (an AuthenTec
// capture left without a driver): items are wall milliseconds, the manual
// time is the process's CPU time, so items per second is wall time per CPU
// second. Beside a thread spinning on a core.
double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

template <class TBody>
void MeasureCpuPerWallSecond(benchmark::State& state, TBody body)
{
    constexpr auto kWall = std::chrono::milliseconds(500);
    for (auto _ : state) {
        const double nCpuBefore = ProcessCpuSeconds();
        body(kWall);
        state.SetIterationTime(std::max(ProcessCpuSeconds() - nCpuBefore, 1e-6));
    }
    state.SetItemsProcessed(state.iterations() * kWall.count());
}

void BM_DriverlessCapture(benchmark::State& state)
{
    MeasureCpuPerWallSecond(state, [](std::chrono::milliseconds wall) {
        ExtractionThreadData data;
        data.type = FS_TYPE_AUTHENTEC;
        data.callback.store(&ReadFirstRow);
        std::thread capture([&] {
            CRawImg image;
            while (data.running.load() == 1)
                CSensor::GetImageFromSensor(&data, &image);
        });
        std::this_thread::sleep_for(wall);
        data.RequestEnd();
        capture.join();
    });
}

void BM_SpinningCore(benchmark::State& state)
{
    MeasureCpuPerWallSecond(state, [](std::chrono::milliseconds wall) {
        std::thread spinner([wall] {
            const auto end = std::chrono::steady_clock::now() + wall;
            while (std::chrono::steady_clock::now() < end) {
            }
        });
        spinner.join();
    });
}

BENCHMARK(BM_FrontEndPerImage);
BENCHMARK(BM_BufferFloor);
BENCHMARK(BM_DriverlessCapture)->UseManualTime()->Iterations(4);
BENCHMARK(BM_SpinningCore)->UseManualTime()->Iterations(2);

}  // namespace

// The bench's process-wide drivers: none is probed here.
CVeskBitDevice* GetVeskBitSensor() { return nullptr; }
Authentec9Sensor* GetAuthentec9Sensor() { return nullptr; }
CSensor* GetUpekSensor() { return &g_sensor; }
std::vector<WString>& SensorLookupOrder()
{
    static std::vector<WString> order;
    return order;
}

int main(int argc, char** argv)
{
    benchkit::CScratch scratch;  // snapshots are off in its empty registry
    // The floor runs faster, so it is the baseline of an inverse ratio: the
    // goal is that the front end costs at most 1.5 times the floor.
    return benchkit::RunAndReport(
        argc, argv,
        {{"front end / buffer floor, images per s (cost <= 1.5x)", "BM_FrontEndPerImage", "BM_BufferFloor", 1 / 1.5},
         {"driverless capture / spinning core, wall s per CPU s (<= 1/20 core)", "BM_DriverlessCapture",
          "BM_SpinningCore", 20}});
}
