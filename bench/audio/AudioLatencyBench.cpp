// Audio latency and underruns, live: the analyser's controller on the simulated receiver, FM
// stereo at 99.4 MHz, audio out through the WAV file writer paced in real time. The simulator
// keys its measurement tones on at every whole half second of the monotonic clock
// (RZSIM_TONE_GATE); each onset found in the written file, placed in time by the driver's sample
// position and buffer-switch time, gives one latency: from the IQ sample that carried the step
// arriving at the receiver's output to the audio frame leaving the driver's buffer. A real
// device plays that buffer half during the next period; the simulated read hands the sample over
// at most one transfer (16384 samples, 0.82 ms at 20 MS/s) after it arrives. The same tones
// give the left 1 kHz tone's pitch in each second of audio.
//
//   bench_audio_latency [seconds] [frames ...]      (default 20 s, at 256 and then 64 frames)
#include "acquisition/RZ640Device.h"
#include "app/RtsaController.h"
#include "audio/AsioBackend.h"
#include "audio/AsioHost.h"
#include "bench/support/BenchFigures.h"
#include "platform/ExecutablePath.h"
#include "tests/audio/WavFileReader.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kGatePeriodNs = 500'000'000;
constexpr double kRate = 48000.0;
// The left tone at 0.41 of full scale; an onset is the first frame above a fifth of that after
// at least 100 ms below it, once the first second (stereo locking, the start of the file) is over.
constexpr int kOnsetLevel = static_cast<int>(0.2 * 0.41 * 32767);
constexpr std::size_t kQuietFrames = 4800;
constexpr std::size_t kSettleFrames = 48000;

struct SwitchSample {
    int64_t position;
    int64_t timeNs;
};

// Reads the running driver's sample position and last buffer-switch time every millisecond.
class SwitchClock {
public:
    SwitchClock() : m_thread([this] { run(); }) {}
    ~SwitchClock() { stop(); }
    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }

    // When the buffer holding `frame` left the driver: the switch that filled it, placed on the
    // pace of the switches around it. The pair read together may straddle a switch (the time
    // already new, the position not yet), which only makes it later, so the earliest one wins.
    std::optional<int64_t> leaveTimeNs(int64_t frame, int64_t frames) const
    {
        const int64_t filledBy = (frame / frames + 1) * frames;
        std::optional<double> offset;
        for (const SwitchSample& s : m_samples) {
            if (std::abs(s.position - filledBy) > static_cast<int64_t>(kRate / 2))
                continue;
            const double o = static_cast<double>(s.timeNs) - static_cast<double>(s.position) * 1e9 / kRate;
            offset = offset ? std::min(*offset, o) : o;
        }
        if (!offset)
            return std::nullopt;
        return static_cast<int64_t>(*offset + static_cast<double>(filledBy) * 1e9 / kRate);
    }

    // Frames the driver asked for per second of the clock, over the whole run: below the rate
    // when it lost time, and then the audio bus fills up.
    double framesPerSecond() const
    {
        if (m_samples.size() < 2)
            return 0.0;
        const SwitchSample& first = m_samples.front();
        const SwitchSample& last = m_samples.back();
        return static_cast<double>(last.position - first.position) * 1e9 / static_cast<double>(last.timeNs - first.timeNs);
    }

private:
    void run()
    {
        while (m_running.load()) {
            ASIOSamples position = 0;
            ASIOTimeStamp time = 0;
            ASIOError result;
            {
                const std::lock_guard lock(asioHostMutex());
                result = ASIOGetSamplePosition(&position, &time);
            }
            if (result == ASE_OK && position > 0)
                m_samples.push_back({position, time});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::vector<SwitchSample> m_samples;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

std::vector<std::size_t> onsets(const WavFileContents& wav)
{
    std::vector<std::size_t> found;
    std::size_t quiet = 0;
    for (std::size_t k = 0; k < wav.frames(); ++k) {
        int16_t left;
        std::memcpy(&left, wav.sample(k, 0), 2);
        if (std::abs(left) < kOnsetLevel) {
            ++quiet;
            continue;
        }
        if (quiet >= kQuietFrames && k >= kSettleFrames)
            found.push_back(k);
        quiet = 0;
    }
    return found;
}

// The left tone's frequency over each keyed-on stretch that starts at an onset, from its cycles
// between interpolated upward zero crossings, 10 ms after the onset to 10 ms before the tone is
// keyed off; cycles more than 5 % off the median (a dropout's) are left out. Returns (time of the
// stretch in the file, Hz) pairs.
std::vector<std::pair<double, double>> tonePitches(const WavFileContents& wav, const std::vector<std::size_t>& starts)
{
    auto left = [&wav](std::size_t k) {
        int16_t v;
        std::memcpy(&v, wav.sample(k, 0), 2);
        return static_cast<double>(v);
    };
    const auto margin = static_cast<std::size_t>(0.01 * kRate);
    const auto stretch = static_cast<std::size_t>(static_cast<double>(kGatePeriodNs) * 1e-9 / 2.0 * kRate);
    std::vector<std::pair<double, double>> pitches;
    for (std::size_t start : starts) {
        const std::size_t from = start + margin, to = std::min(start + stretch - margin, wav.frames());
        std::vector<double> cycles;
        double previous = -1.0;
        for (std::size_t k = from + 1; k < to; ++k) {
            const double a = left(k - 1), b = left(k);
            if (a < 0.0 && b >= 0.0) {
                const double at = static_cast<double>(k - 1) + a / (a - b);
                if (previous >= 0.0)
                    cycles.push_back(at - previous);
                previous = at;
            }
        }
        if (cycles.size() < 10)
            continue;
        std::vector<double> sorted = cycles;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
        const double median = sorted[sorted.size() / 2];
        double total = 0.0;
        int kept = 0;
        for (double c : cycles)
            if (std::abs(c - median) < 0.05 * median) {
                total += c;
                ++kept;
            }
        pitches.emplace_back(static_cast<double>(start) / kRate, kept * kRate / total);
    }
    return pitches;
}

struct Run {
    double framesPerSecond = 0.0;
    std::vector<double> latencyMs;
    // Audio that comes back after a dropout of 100 ms or more in the middle of a tone looks like
    // an onset, later than the audio bus and one buffer can hold back: not a latency.
    int afterDropouts = 0;
    std::vector<std::pair<double, double>> pitches;
    QStringList audioLines;
    QString opened;
};

Run measure(QCoreApplication& app, const std::filesystem::path& registry, const std::filesystem::path& recording,
            int frames, double seconds)
{
    Run run;
    RtsaController c([] { return std::make_unique<RZ640Device>(); },
                     [&registry](AsioLogSink log) {
                         return std::make_unique<AsioBackend>(std::vector{registry}, std::move(log));
                     });
    QObject::connect(&c, &RtsaController::logMessage, &c, [&run](const QString& line) {
        if (line.startsWith(QStringLiteral("Audio: fill=")))
            run.audioLines << line;
        else if (line.startsWith(QStringLiteral("Audio: opened")))
            run.opened = line;
    });
    c.applyParams(99.0, 20.0, 0, 0, 20, 30);
    c.setNewDemodFreqHz(99.4e6);
    c.setNewDemodFmStereoEnabled(true);
    c.setNewDemodEnabled(true);
    c.setAudioDeviceName(QStringLiteral("WAV File Writer"));
    c.setAudioBufferFrames(frames);
    c.setAudioEnabled(true);

    SwitchClock clock;
    if (!c.startRx())
        return run;
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), &app, &QCoreApplication::quit);
    app.exec();
    clock.stop();
    c.stopRx();
    run.framesPerSecond = clock.framesPerSecond();

    const auto wav = readWavFile(recording);
    if (!wav)
        return run;
    // What the bus and a buffer hold, and 20 ms for the demodulator's own delays.
    const double longestMs = (static_cast<double>(DemodBlockProcessor::kBusCapacity) + frames) / kRate * 1e3 + 20.0;
    const std::vector<std::size_t> found = onsets(*wav);
    run.pitches = tonePitches(*wav, found);
    for (std::size_t frame : found) {
        const std::optional<int64_t> left = clock.leaveTimeNs(static_cast<int64_t>(frame), frames);
        if (!left)
            continue;
        const double latencyMs = static_cast<double>(*left % kGatePeriodNs) / 1e6;
        if (latencyMs < longestMs)
            run.latencyMs.push_back(latencyMs);
        else
            ++run.afterDropouts;
    }
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    std::vector<int> sizes;
    for (int k = 2; k < argc; ++k)
        sizes.push_back(std::atoi(argv[k]));
    if (sizes.empty())
        sizes = {256, 64};
    setenv("RZSIM_TEST_TONES", "1", 1);
    setenv("RZSIM_TONE_GATE", std::to_string(kGatePeriodNs / 1'000'000).c_str(), 1);

    // The processing blocks' console lines go nowhere; the figures go to the original output.
    std::FILE* out = fdopen(dup(STDOUT_FILENO), "w");
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDOUT_FILENO);
    close(devnull);
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.info=false"));

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench-audio-latency-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path recording = folder / "audio.wav";
    const std::string exe = executablePath();
    {
        std::ofstream entry(folder / "wav.conf");
        entry << "key = WavFileWriter\nclsid = {9c7e2b14-3d5a-4f8e-b1c6-2a9d8e4f7b03}\n"
              << "description = WAV File Writer\nserver = " << exe.substr(0, exe.rfind('/')) << "/libasio-wav.so\n"
              << "file = " << recording.string() << "\nsampletype = int16\nchannels = 2\n";
    }

    int status = 0;
    for (int frames : sizes) {
        const Run run = measure(app, folder, recording, frames, seconds);
        std::fprintf(out, "%d frames, %.0f s at 20 MS/s, stereo, WAV File Writer asking for %.1f frames/s\n", frames,
                     seconds, run.framesPerSecond);
        std::fprintf(out, "  %s\n", qPrintable(run.opened));
        if (run.latencyMs.empty()) {
            std::fprintf(out, "  no tone onsets found\n");
            status = 1;
            continue;
        }
        std::fprintf(out, "  latency over %zu onsets: median %.2f ms, min %.2f ms, P95 %.2f ms, max %.2f ms\n",
                     run.latencyMs.size(), benchfigures::percentile(run.latencyMs, 0.5), benchfigures::percentile(run.latencyMs, 0.0),
                     benchfigures::percentile(run.latencyMs, 0.95), benchfigures::percentile(run.latencyMs, 1.0));
        // The 1 kHz tone's pitch in each second of the file, from its keyed-on stretches.
        std::fprintf(out, "  left tone pitch by second of audio:");
        for (int second = 1; second <= static_cast<int>(seconds); ++second) {
            double sum = 0.0;
            int n = 0;
            for (auto [at, hz] : run.pitches)
                if (at >= second && at < second + 1) {
                    sum += hz;
                    ++n;
                }
            if (n > 0)
                std::fprintf(out, " %d:%.2f", second, sum / n);
        }
        std::fprintf(out, " Hz\n");
        if (run.afterDropouts > 0)
            std::fprintf(out, "  %d tones came back after a dropout (not counted)\n", run.afterDropouts);
        // The counts are kept from the start of the audio; the first line comes a second in.
        const QRegularExpression counts(QStringLiteral("fill=([0-9.]+)%.*underruns=([0-9]+)"));
        if (!run.audioLines.isEmpty()) {
            const auto first = counts.match(run.audioLines.first());
            const auto last = counts.match(run.audioLines.last());
            std::vector<double> fill;
            for (const QString& line : run.audioLines)
                fill.push_back(counts.match(line).captured(1).toDouble());
            std::fprintf(out, "  underruns: %llu in total, %llu after the first second; bus fill median %.1f %%\n",
                         last.captured(2).toULongLong(),
                         last.captured(2).toULongLong() - first.captured(2).toULongLong(), benchfigures::percentile(fill, 0.5));
        }
        std::fflush(out);
    }
    std::filesystem::remove_all(folder);
    return status;
}
