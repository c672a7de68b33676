// CPU cost of the simulated receiver per second of delivered signal, at every sample rate,
// through the SDK's own table (find, tune, start, read). Pacing is switched off for the cost
// figures; a last paced run at 30 MS/s shows the share of a core it takes in real time. The
// simulator renders its looped part of the scene in the first seconds after a tune: that first
// second is shown on its own, the steady cost is measured after the longest loop has played.

#include "acquisition/RzSdrAbi.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

extern "C" RzSdrApi* rzsdr_init();

namespace {

constexpr uint32_t kRates[] = {2'000'000, 5'000'000, 10'000'000, 20'000'000, 30'000'000};
constexpr int kRepetitions = 5;
// Longer than the longest loop of the scene (its music programme).
constexpr double kSettleSeconds = 6.5;

struct Scenario {
    const char* name;
    uint64_t centerHz;
};

double cpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU seconds spent delivering `seconds` of signal.
double measure(RzSdrApi* api, RzSdrDevice* device, uint32_t rate, double seconds)
{
    std::vector<uint8_t> block(device->samplesPerTransfer * 4u);
    const auto reads = static_cast<uint64_t>(seconds * rate / device->samplesPerTransfer);
    api->startStreaming(device);
    const double start = cpuSeconds();
    for (uint64_t i = 0; i < reads; ++i)
        if (!api->read(device, block.data(), static_cast<uint32_t>(block.size())))
            std::fprintf(stderr, "read failed\n");
    const double spent = cpuSeconds() - start;
    api->stopStreaming(device);
    return spent;
}

RzSdrDevice* openReceiver(RzSdrApi* api, uint64_t centerHz, uint32_t rate)
{
    RzSdrDevice* device = api->find(kRzKindRz640Usb);
    if (device == nullptr) {
        std::fprintf(stderr, "no simulated receiver\n");
        std::exit(1);
    }
    api->setPort(device, 1, 0);
    api->setFrequency(device, centerHz);
    api->setSampleRate(device, rate);
    api->setAttenuation(device, 0);
    api->setPreamp(device, 20);
    api->setIfGain(device, 30);
    return device;
}

} // namespace

int main()
{
    RzSdrApi* api = rzsdr_init();
    const Scenario scenarios[] = {{"1000 MHz (start-up view)", 1'000'000'000}, {"98 MHz (FM broadcast band)", 98'000'000}};

    setenv("RZSIM_REALTIME", "0", 1);
    std::printf("Simulator cost per second of signal (median of %d runs of 1 s of signal each, after %.1f s)\n",
                kRepetitions, kSettleSeconds);
    for (const Scenario& scenario : scenarios) {
        std::printf("%s\n", scenario.name);
        for (uint32_t rate : kRates) {
            RzSdrDevice* device = openReceiver(api, scenario.centerHz, rate);
            const double first = measure(api, device, rate, 1.0);
            measure(api, device, rate, kSettleSeconds - 1.0);
            std::vector<double> costs;
            for (int i = 0; i < kRepetitions; ++i)
                costs.push_back(measure(api, device, rate, 1.0));
            std::sort(costs.begin(), costs.end());
            const double median = costs[kRepetitions / 2];
            std::printf("  %2u MS/s: %7.1f ms CPU per s of signal (%5.1f %% of one core in real time); "
                        "first s after the tune %7.1f ms\n",
                        rate / 1'000'000, median * 1000.0, median * 100.0, first * 1000.0);
            api->release(device);
        }
    }

    setenv("RZSIM_REALTIME", "1", 1);
    for (const Scenario& scenario : scenarios) {
        RzSdrDevice* device = openReceiver(api, scenario.centerHz, 30'000'000);
        measure(api, device, 30'000'000, 2.0);
        const double wall = wallSeconds();
        const double cpu = measure(api, device, 30'000'000, 2.0);
        const double elapsed = wallSeconds() - wall;
        std::printf("Paced 30 MS/s at %s, after 2 s: %.2f s wall for 2 s of signal, %.1f %% of one core\n", scenario.name,
                    elapsed, cpu / elapsed * 100.0);
        api->release(device);
    }
    return 0;
}
