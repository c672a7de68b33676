// The audio callback's work per buffer, as the buffer switch does it for two outputs: read each
// output's bus slot and convert it into the driver's sample type. Prints the median time per
// buffer for each sample type at 64 and 256 frames, and its share of the buffer's period.
#include "audio/SampleConversion.h"
#include "demod/AudioBus.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBuffersPerRun = 2000;
constexpr int kRuns = 9;
constexpr double kRateHz = 48000.0;

struct Type {
    const char* name;
    ASIOSampleType code;
};

double nsPerBuffer(ASIOSampleType type, size_t frames)
{
    AudioBus bus(2400);
    const size_t slots[2] = {bus.addSlot(), bus.addSlot()};
    std::vector<float> audio(frames);
    for (size_t k = 0; k < frames; ++k)
        audio[k] = 0.8f * static_cast<float>(k % 97) / 97.0f - 0.4f;
    std::vector<float> scratch(frames);
    std::vector<unsigned char> out(frames * static_cast<size_t>(asioBytesPerSample(type)));
    std::vector<double> runs;
    for (int r = 0; r < kRuns; ++r) {
        std::chrono::nanoseconds spent{0};
        for (int b = 0; b < kBuffersPerRun; ++b) {
            // The producer's share is not the callback's: refill outside the timed part.
            for (size_t slot : slots)
                bus.write(slot, audio.data(), frames);
            const auto start = std::chrono::steady_clock::now();
            for (size_t slot : slots) {
                bus.read(slot, scratch.data(), frames);
                convertToAsio(scratch.data(), frames, type, out.data());
            }
            spent += std::chrono::steady_clock::now() - start;
        }
        runs.push_back(static_cast<double>(spent.count()) / kBuffersPerRun);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main()
{
    const Type types[] = {{"int16", ASIOSTInt16LSB},
                          {"int24", ASIOSTInt24LSB},
                          {"int32", ASIOSTInt32LSB},
                          {"float32", ASIOSTFloat32LSB},
                          {"float64", ASIOSTFloat64LSB}};
    for (size_t frames : {64u, 256u}) {
        const double periodNs = 1e9 * static_cast<double>(frames) / kRateHz;
        for (const Type& t : types) {
            const double ns = nsPerBuffer(t.code, frames);
            std::printf("%4zu frames %-7s | %8.0f ns per buffer, 2 outputs | %6.3f %% of the %.2f ms period\n", frames,
                        t.name, ns, 100.0 * ns / periodNs, periodNs / 1e6);
        }
    }
    return 0;
}
