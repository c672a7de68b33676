// Throughput of the demodulation chain from int16 IQ to 48 kHz audio, mono and stereo,
// at the receiver rates that decimate through the CIC. Prints input MS/s per second of
// thread CPU time, the real-time factor and each stage's share of the time.
#include "demod/DemodChain.h"
#include "support/FmTestSignal.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kBlockPairs = 4096; // the channel's largest read
constexpr double kSignalSeconds = 0.25;
constexpr int kRuns = 7;

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Runs the whole signal through the chain once; returns thread CPU seconds.
double runOnce(DemodChain& chain, const std::vector<int16_t>& iq, double rate, double center)
{
    const size_t pairs = iq.size() / 2;
    const double start = threadCpuSeconds();
    size_t audio = 0;
    for (size_t pos = 0; pos < pairs; pos += kBlockPairs) {
        const size_t n = std::min(kBlockPairs, pairs - pos);
        audio += chain.process(iq.data() + 2 * pos, n, rate, center, static_cast<double>(pos) / rate);
    }
    const double spent = threadCpuSeconds() - start;
    if (audio == 0)
        std::fprintf(stderr, "no audio produced\n");
    return spent;
}

void bench(std::FILE* out, bool stereo, double rate)
{
    FmTestSignal signal;
    signal.sampleRateHz = rate;
    signal.carrierOffsetHz = 0.1 * rate;
    const std::vector<int16_t> iq = signal.generate(static_cast<size_t>(kSignalSeconds * rate));
    const double center = signal.centerHz();

    DemodChain chain(FmTestSignal::receiverParams(stereo, true));
    runOnce(chain, iq, rate, center); // warm-up: configures every stage
    // Stage timing costs a few clock reads per block, well under 1 % of a block's work.
    chain.setProfiling(true);
    std::vector<double> seconds;
    for (int r = 0; r < kRuns; ++r)
        seconds.push_back(runOnce(chain, iq, rate, center));
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const DemodChain::StageTimes& t = chain.stageTimes();
    const double total =
        t.nco + t.cic + t.preFir + t.polyFir + t.squelch + t.demod + t.gain + t.resample + t.filter;
    auto share = [total](double s) { return 100.0 * s / total; };

    const double pairs = static_cast<double>(iq.size() / 2);
    std::fprintf(out, "%-6s %4.0f MS/s | %7.1f MS/s per core-s | real time x%5.2f | nco %4.1f%% cic %4.1f%% prefir %4.1f%% "
                "polyfir %4.1f%% squelch %4.1f%% demod %4.1f%% gain %4.1f%% asrc %4.1f%% filter %4.1f%%\n",
                stereo ? "stereo" : "mono", rate / 1e6, pairs / median / 1e6, kSignalSeconds / median, share(t.nco),
                share(t.cic), share(t.preFir), share(t.polyFir), share(t.squelch), share(t.demod), share(t.gain),
                share(t.resample), share(t.filter));
    std::fflush(out);
}

} // namespace

int main()
{
    // The figures go to the original stdout; the stages' own console diagnostics, which
    // would drown them, go to /dev/null.
    std::FILE* figures = fdopen(dup(fileno(stdout)), "w");
    if (!figures || !std::freopen("/dev/null", "w", stdout))
        return 1;
    for (bool stereo : {false, true})
        for (double rate : {30e6, 20e6, 10e6})
            bench(figures, stereo, rate);
    std::fclose(figures);
    return 0;
}
