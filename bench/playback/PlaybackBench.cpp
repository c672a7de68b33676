// How fast a recording plays at the fastest speed through the whole analysis: a 30 MS/s ci16_le
// SigMF recording (written first, so it is read from the page cache) through the RX thread, the
// spectrum thread with persistence and waterfall, and the demodulator off and on.
// Usage: bench_playback [folder] [seconds per run]
#include "acquisition/AcquisitionSession.h"
#include "playback/PlaybackDevice.h"
#include "playback/SigmfRecording.h"
#include "platform/MonotonicClock.h"
#include "sigmf/SigmfMeta.h"

#include <QFile>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kRate = 30'000'000;
constexpr double kCenter = 99.4e6;
constexpr uint32_t kRecordedSeconds = 2;

class Counts : public AcquisitionOutput {
public:
    bool displayAlive() override { return true; }
    void deliverFrame(SpectrumFrame&&) override {}
    void statusReport(const SpectrumStatus& status) override { skipped += status.discardedBlocks; }
    void rxLine(const std::string&) override {}
    void rxStatus(const RxStatus& status) override
    {
        drops += status.fftDrops;
        overflows += status.demodOverflows;
    }
    void overloadTriggered(const std::string&) override {}
    std::atomic<uint64_t> drops{0};
    std::atomic<uint64_t> overflows{0};
    std::atomic<uint64_t> skipped{0};
};

std::string writeRecording(const std::filesystem::path& folder)
{
    const std::string base = (folder / "bench-30msps").string();
    std::FILE* data = std::fopen((base + ".sigmf-data").c_str(), "wb");
    if (data == nullptr)
        return {};
    // A carrier 1 MHz off centre over noise, written a second at a time.
    std::vector<int16_t> second(2 * static_cast<std::size_t>(kRate));
    uint32_t lcg = 1;
    for (std::size_t n = 0; n < kRate; ++n) {
        lcg = lcg * 1664525u + 1013904223u;
        const double phase = 2 * std::numbers::pi * 1e6 * static_cast<double>(n) / kRate;
        const double noise = static_cast<double>(lcg >> 20) - 2048.0;
        second[2 * n] = static_cast<int16_t>(6000 * std::cos(phase) + 0.1 * noise);
        second[2 * n + 1] = static_cast<int16_t>(6000 * std::sin(phase) - 0.1 * noise);
    }
    for (uint32_t s = 0; s < kRecordedSeconds; ++s)
        std::fwrite(second.data(), sizeof(int16_t), second.size(), data);
    std::fclose(data);
    SigmfMeta meta;
    meta.global.datatype = QStringLiteral("ci16_le");
    meta.global.sampleRate = kRate;
    SigmfCapture capture;
    capture.frequency = kCenter;
    meta.captures.push_back(capture);
    QFile file(QString::fromStdString(base + ".sigmf-meta"));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(sigmfMetaToJson(meta));
    return base;
}

// The demodulator's console lines would only interleave with the figures.
class QuietDiagnostics : public DemodDiagnostics {
protected:
    void write(std::string_view) override {}
};

void run(const std::string& recording, bool demodOn, double seconds)
{
    Counts counts;
    QuietDiagnostics quiet;
    AcquisitionSession session(counts, quiet);
    SpectrumSettings settings;
    settings.centerHz = kCenter;
    settings.sampleRateHz = kRate;
    settings.density.enabled = true;
    settings.waterfallEnabled = true;
    session.setSpectrumSettings(settings);
    DemodParams params = session.demod().getParams();
    params.enabled = demodOn;
    params.demodFreqHz = kCenter + 1e6;
    session.demod().setParams(params);

    PlaybackDevice device;
    device.load(std::make_unique<RecordingFile>(sigmfRecording(recording)));
    device.setLoop(true);
    device.setSpeed(PlaybackDevice::kSpeedMax);
    device.setRoomProbe([&session](std::size_t bytes) { return session.hasRoomFor(bytes); });
    device.play();
    session.start({&device, kRate, static_cast<uint64_t>(kCenter)});
    // The first half second warms up the threads and caches.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const uint64_t startSamples = device.status().deliveredSamples;
    const int64_t startNs = monotonicNowNs();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const uint64_t samples = device.status().deliveredSamples - startSamples;
    const double elapsed = static_cast<double>(monotonicNowNs() - startNs) * 1e-9;
    session.stop();
    std::printf("demod %-3s  fft %5d  %.2f x real time (%.1f MS/s over %.1f s), fftDrop=%llu demodOvf=%llu "
                "skipped=%llu\n",
                demodOn ? "on" : "off", settings.fftSize, static_cast<double>(samples) / elapsed / kRate,
                static_cast<double>(samples) / elapsed / 1e6, elapsed, static_cast<unsigned long long>(counts.drops.load()),
                static_cast<unsigned long long>(counts.overflows.load()),
                static_cast<unsigned long long>(counts.skipped.load()));
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const double seconds = argc > 2 ? std::atof(argv[2]) : 5.0;
    const std::string recording = writeRecording(folder);
    if (recording.empty()) {
        std::fprintf(stderr, "cannot write the recording in %s\n", folder.c_str());
        return 1;
    }
    std::printf("30 MS/s ci16_le, %u s looped, as fast as the analysis keeps up:\n", kRecordedSeconds);
    run(recording, false, seconds);
    run(recording, true, seconds);
    std::filesystem::remove(recording + ".sigmf-data");
    std::filesystem::remove(recording + ".sigmf-meta");
    return 0;
}
