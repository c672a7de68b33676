// Prints, for bursts of a quarter block to three blocks at random places in the stream, how
// often the persistence display draws them at full amplitude (within 1 dB of a continuous
// tone's level) and how often it shows them at all (10 dB above the loudest noise), fed every
// spectrum and fed the display trace, at 30 MS/s with the window's defaults. Not a test: the
// figures behind the intercept time the window states.
//
//   engine_burst_table [TRIALS]   (200 bursts per length)
#include "engine/InterceptTime.h"
#include "tests/engine/BurstRig.h"

#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char** argv)
{
    const int trials = argc >= 2 ? std::atoi(argv[1]) : 200;
    constexpr double kLevelDbfs = -50.0;
    std::printf("-50 dBFS CW bursts, %d per length at random offsets; Hann window, 30 MS/s, Avg 20 detector\n", trials);
    for (int n : {2048, 8192}) {
        for (int overlap : {0, 50}) {
            BurstRig every(n, 0, overlap);
            BurstRig trace(n, 0, overlap, DensitySource::DisplayTrace);
            const double level = every.continuous(kLevelDbfs, n / 8).burstDb;
            const double poi = intercept::fullAmplitudeSeconds(static_cast<std::size_t>(n), 0, overlap, 30e6);
            std::printf("\nN=%d, overlap %d %%: POI 100 %% >= %.1f us (%.3f N)\n", n, overlap, poi * 1e6,
                        poi * 30e6 / n);
            std::printf("%10s %10s %16s %12s %22s\n", "length/N", "us", "P(full ampl.)", "P(seen)", "P(seen), trace-fed");
            std::mt19937 rng(static_cast<unsigned>(n + overlap));
            std::uniform_int_distribution<std::size_t> offset(0, every.hop() - 1);
            for (double blocks : {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0}) {
                const auto length = static_cast<std::size_t>(blocks * n);
                int full = 0;
                int seen = 0;
                int seenTraceFed = 0;
                for (int t = 0; t < trials; ++t) {
                    const std::size_t at = offset(rng);
                    const BurstRig::Drawn drawn = every.burst(kLevelDbfs, length, at);
                    full += drawn.burstDb >= level - 1.0 ? 1 : 0;
                    seen += drawn.burstDb >= drawn.noiseDb + 10.0 ? 1 : 0;
                    const BurstRig::Drawn fed = trace.burst(kLevelDbfs, length, at);
                    seenTraceFed += fed.burstDb >= fed.noiseDb + 10.0 ? 1 : 0;
                }
                std::printf("%10.2f %10.1f %15.1f%% %11.1f%% %21.1f%%\n", blocks, length / 30.0, 100.0 * full / trials,
                            100.0 * seen / trials, 100.0 * seenTraceFed / trials);
            }
        }
    }
    return 0;
}
