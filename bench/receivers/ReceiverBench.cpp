// What the SoapySDR path costs: the RX thread reading 30 MS/s CS16 in real time from the
// simulated SoapySDR module and from the simulated RZ640 (same scene, same synthesis, so the
// difference is the driver's), and the CF32 to 16-bit conversion on one core.
//
//   bench_receivers [seconds per receiver]
#include "acquisition/FftRing.h"
#include "acquisition/RZ640Device.h"
#include "acquisition/RxThread.h"
#include "platform/ExecutablePath.h"
#include "platform/ThreadPriority.h"
#include "receivers/IqConversion.h"
#include "receivers/SoapyDevice.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kRateHz = 30'000'000;

struct RxCost {
    double coreShare = 0.0;
    double megabytesPerSecond = 0.0;
    uint64_t timeouts = 0;
};

// The RX thread on the device for `seconds`, with a reader draining its FFT ring as the
// spectrum thread would; the thread's CPU time over the reports after the first.
RxCost measureRx(IDevice& device, double seconds)
{
    device.open();
    device.setCenterFrequency(99'000'000);
    device.setSampleRate(kRateHz);
    const uint32_t blockBytes = device.samplesPerTransfer() * 4;
    FftRing ring(FftRing::capacityFor(device.samplesPerTransfer(), 8192 * 4, kRateHz));
    std::atomic<bool> running{true};
    std::atomic<uint64_t> lost{0};
    std::thread drain([&] {
        std::vector<uint8_t> sink(1 << 20);
        while (running.load()) {
            if (ring.read(sink.data(), sink.size()) == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    std::vector<RxStatus> reports;
    std::vector<int64_t> cpuAtReport;
    std::atomic<int> reportCount{0};
    RxCallbacks callbacks;
    int64_t lastCpu = 0;
    callbacks.threadCpuNs = [&] { return lastCpu = threadCpuNowNs(); };
    callbacks.report = [&](const RxStatus& status) {
        reports.push_back(status);
        cpuAtReport.push_back(lastCpu);
        ++reportCount;
    };
    // The cost is measured at normal priority: a real-time reader would only hide it.
    callbacks.raisePriority = [] { return 1; };
    device.startStreaming();
    const auto periods = static_cast<int>(seconds);
    {
        RxThread rx(running, {&device, &ring, nullptr, blockBytes, &lost}, callbacks);
        rx.start();
        while (reportCount.load() < periods + 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        running = false;
        device.stopStreaming();
    }
    drain.join();
    device.close();

    RxCost cost;
    // The report's CPU figure is read just before it; the first period includes the start.
    const double cpuNs = static_cast<double>(cpuAtReport.back() - cpuAtReport.front());
    cost.coreShare = cpuNs / (static_cast<double>(reports.size() - 1) * 1e9);
    for (std::size_t i = 1; i < reports.size(); ++i) {
        cost.megabytesPerSecond += reports[i].megabytesPerSecond / static_cast<double>(reports.size() - 1);
        cost.timeouts += reports[i].timeouts;
    }
    return cost;
}

void printRx(const char* name, const RxCost& cost)
{
    // Per second of signal delivered, so that a reader held up by a busy machine compares fairly.
    const double nominal = kRateHz * 4.0 / 1048576.0;
    const double delivered = cost.megabytesPerSecond / nominal;
    std::printf("  %-36s %5.1f %% of a core, %6.2f MB/s (nominal %.2f), %6.1f ms CPU per s of signal, timeouts %llu\n",
                name, cost.coreShare * 100.0, cost.megabytesPerSecond, nominal,
                delivered > 0.0 ? cost.coreShare * 1000.0 / delivered : 0.0,
                static_cast<unsigned long long>(cost.timeouts));
}

void benchConversion()
{
    constexpr std::size_t kPairs = SoapyDevice::kSamplesPerTransfer;
    constexpr double kConversionRateHz = 20e6;
    std::vector<float> in(2 * kPairs);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<float>((static_cast<int>(i * 7919) % 65536) - 32768) / 32768.0f;
    std::vector<int16_t> out(2 * kPairs);
    const StreamFormat format{WireFormat::CF32, 0};
    std::size_t pairs = 0;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::duration<double> elapsed{};
    while (elapsed.count() < 2.0) {
        for (int i = 0; i < 64; ++i)
            convertToCs16(format, in.data(), out.data(), kPairs);
        pairs += 64 * kPairs;
        elapsed = std::chrono::steady_clock::now() - start;
    }
    const double nsPerPair = elapsed.count() * 1e9 / static_cast<double>(pairs);
    std::printf("CF32 to 16-bit conversion: %.2f ns per pair, %.1f x real time at 20 MS/s on one core (checksum %d)\n",
                nsPerPair, 1e9 / nsPerPair / kConversionRateHz, out[kPairs / 2]);
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    // The simulated module of this build, unless the caller names another folder.
    setenv("SOAPY_SDR_PLUGIN_PATH", RTSA_SOAPY_SIM_DIR, 0);
    setenv("SOAPYSIM_UNITS", "CS16", 1);
    setenv("SOAPYSIM_REALTIME", "1", 1);
    setenv("RZSIM_REALTIME", "1", 1);

    std::printf("RX thread reading %u MS/s CS16 in real time, %.0f s each:\n", kRateHz / 1'000'000, seconds);
    RZ640Device rz640(RZ640Device::sdkCandidates(executablePath()));
    printRx("simulated RZ640 (librzsdr.so)", measureRx(rz640, seconds));
    SoapyDevice soapy;
    soapy.selectDevice("driver=rtsasim,serial=5A000001");
    printRx("simulated SoapySDR module (rtsasim)", measureRx(soapy, seconds));
    benchConversion();
    return 0;
}
