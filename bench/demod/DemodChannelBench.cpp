// The demodulation channel's block step, as its thread runs it: 4096-pair blocks of int16 IQ,
// each first copied out of a ring-sized stretch of recent input as the thread reads its ring,
// from the receiver rate to 48 kHz audio on the bus, mono and stereo, at the rates that decimate
// through the CIC. Prints input MS/s per second of thread CPU time, the real-time factor and
// each stage's share; then the FM demodulator on its own at 500 kHz, ns per sample. Medians of
// several runs; pin it to one core (taskset -c N) on an otherwise idle machine. Stage shares
// come from wall-clock laps and so include time the thread was not running.
#include "bench/support/BenchFigures.h"
#include "demod/DemodBlockProcessor.h"
#include "demod/NfmDemodulator.h"
#include "platform/ThreadPriority.h"
#include "support/FmTestSignal.h"

#include <algorithm>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr size_t kBlockPairs = 4096; // the channel's largest read
constexpr double kSignalSeconds = 0.25;
// Input the thread finds in its ring: written a moment before by the acquisition, so still in
// the processor's caches. The blocks of this stretch are taken over and over.
constexpr size_t kRecentBlocks = 128;
constexpr int kRuns = 7;

// Lines nobody reads: the stages' console diagnostics would drown the figures.
class Silent : public DemodDiagnostics {
protected:
    void write(std::string_view) override {}
};

// Takes from each slot what it holds, as the audio output would.
void play(DemodBlockProcessor& p)
{
    static float out[DemodBlockProcessor::kBusCapacity];
    for (size_t slot : {p.leftSlot(), p.rightSlot()}) {
        const auto held = static_cast<size_t>(p.bus().fill(slot) * DemodBlockProcessor::kBusCapacity + 0.5);
        p.bus().read(slot, out, held);
    }
}

// Runs kSignalSeconds of input through the block step once, time stamped as it would arrive
// after startNs, with the bus played after each block; returns thread CPU seconds.
double runOnce(DemodBlockProcessor& p, const std::vector<int16_t>& recent, double rate, double center, int64_t startNs)
{
    static int16_t block[2 * kBlockPairs];
    const auto blocks = static_cast<size_t>(kSignalSeconds * rate) / kBlockPairs;
    const double start = static_cast<double>(threadCpuNowNs()) * 1e-9;
    for (size_t b = 0; b < blocks; ++b) {
        std::memcpy(block, recent.data() + 2 * kBlockPairs * (b % kRecentBlocks), sizeof block);
        p.processIqBlock(block, kBlockPairs, rate, center,
                         startNs + static_cast<int64_t>(static_cast<double>(b * kBlockPairs) / rate * 1e9));
        play(p);
    }
    return static_cast<double>(threadCpuNowNs()) * 1e-9 - start;
}

// The station the channel is benchmarked on, at a receiver rate.
FmTestSignal benchSignal(double rate)
{
    FmTestSignal signal;
    signal.sampleRateHz = rate;
    signal.carrierOffsetHz = 0.1 * rate;
    return signal;
}

void benchChannel(bool stereo, double rate)
{
    const FmTestSignal signal = benchSignal(rate);
    const std::vector<int16_t> iq = signal.generate(kRecentBlocks * kBlockPairs);
    const double center = signal.centerHz();

    Silent silent;
    DemodBlockProcessor p(FmTestSignal::receiverParams(stereo, true), silent);
    const int64_t runNs = static_cast<int64_t>(kSignalSeconds * 1e9);
    runOnce(p, iq, rate, center, 0); // warm-up: configures every stage
    p.setProfiling(true);
    std::vector<double> seconds;
    for (int r = 0; r < kRuns; ++r) {
        seconds.push_back(runOnce(p, iq, rate, center, (r + 1) * runNs));
    }
    const double spent = benchfigures::median(seconds);
    const DemodChain::StageTimes& t = p.chain().stageTimes();
    const double stages = t.nco + t.cic + t.preFir + t.polyFir + t.squelch + t.demod + t.gain + t.resample + t.filter;
    // What the chain's stages do not account for: the bus, the throttle, the statistics and
    // the playing of the bus.
    double total = 0.0;
    for (double s : seconds)
        total += s;
    const double rest = std::max(0.0, total - stages);
    auto share = [total](double s) { return 100.0 * s / total; };

    const double pairs = static_cast<double>(static_cast<size_t>(kSignalSeconds * rate) / kBlockPairs * kBlockPairs);
    std::printf("%-6s %2.0f MS/s | %6.1f MS/s per core-s | real time x%5.2f | nco %4.1f%% cic %4.1f%% prefir %4.1f%% "
                "polyfir %4.1f%% squelch %3.1f%% demod %4.1f%% gain %3.1f%% asrc %4.1f%% filter %3.1f%% bus %3.1f%%\n",
                stereo ? "stereo" : "mono", rate / 1e6, pairs / spent / 1e6, kSignalSeconds / spent, share(t.nco),
                share(t.cic), share(t.preFir), share(t.polyFir), share(t.squelch), share(t.demod), share(t.gain),
                share(t.resample), share(t.filter), share(rest));
    std::fflush(stdout);
}

// The demodulator alone on broadcast FM at 500 kHz, in the chain's block size there.
void benchDemodulator(bool stereo)
{
    constexpr double kRate = 500000.0;
    constexpr size_t kBlock = 410;
    FmTestSignal signal;
    signal.sampleRateHz = kRate;
    signal.carrierOffsetHz = 0.0;
    const std::vector<int16_t> iq = signal.generate(static_cast<size_t>(kRate));
    std::vector<std::complex<float>> in(iq.size() / 2);
    for (size_t n = 0; n < in.size(); ++n)
        in[n] = {static_cast<float>(iq[2 * n]) / 32768.0f, static_cast<float>(iq[2 * n + 1]) / 32768.0f};

    Silent silent;
    NfmDemodulator d(NfmConfig{150000.0, 75.0, stereo}, silent);
    d.setSampleRate(kRate);
    std::vector<float> left(kBlock), right(kBlock);
    std::vector<double> seconds;
    for (int r = 0; r < kRuns; ++r) {
        const double start = static_cast<double>(threadCpuNowNs()) * 1e-9;
        for (size_t pos = 0; pos + kBlock <= in.size(); pos += kBlock) {
            if (stereo)
                d.processStereo(in.data() + pos, kBlock, left.data(), right.data(), kBlock);
            else
                d.process(in.data() + pos, kBlock, left.data(), kBlock);
        }
        seconds.push_back(static_cast<double>(threadCpuNowNs()) * 1e-9 - start);
    }
    std::printf("demodulator %-6s at 500 kHz | %5.1f ns per sample\n", stereo ? "stereo" : "mono",
                benchfigures::median(seconds) / static_cast<double>(in.size() / kBlock * kBlock) * 1e9);
    std::fflush(stdout);
}

// Writes the stretch of input the channel is benchmarked on at a rate as cs16, for a reference
// receiver to read, and prints the station's offset from the centre.
int writeSignal(const char* path, double rate)
{
    const FmTestSignal signal = benchSignal(rate);
    const std::vector<int16_t> iq = signal.generate(kRecentBlocks * kBlockPairs);
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr || std::fwrite(iq.data(), sizeof(int16_t), iq.size(), file) != iq.size()) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    std::fclose(file);
    std::printf("offset_hz=%.0f\n", signal.carrierOffsetHz);
    return 0;
}

void benchChannelsAt(const std::vector<double>& rates, const std::vector<bool>& modes)
{
    for (bool stereo : modes)
        for (double rate : rates)
            benchChannel(stereo, rate);
}

} // namespace

// Without arguments every rate and mode and the demodulator alone; "signal FILE [RATE]" writes
// the input at RATE (default 30 MS/s); "channel stereo|mono [RATE]" benchmarks one channel.
int main(int argc, char** argv)
{
    const double rate = argc >= 4 ? std::atof(argv[3]) : 30e6;
    if (argc >= 3 && std::strcmp(argv[1], "signal") == 0)
        return writeSignal(argv[2], rate);
    if (argc >= 3 && std::strcmp(argv[1], "channel") == 0) {
        benchChannelsAt({rate}, {std::strcmp(argv[2], "stereo") == 0});
        return 0;
    }
    benchChannelsAt({30e6, 20e6, 10e6}, {false, true});
    for (bool stereo : {false, true})
        benchDemodulator(stereo);
    return 0;
}
