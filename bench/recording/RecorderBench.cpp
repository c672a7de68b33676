// Drives the recorder as the RX thread would, in real time, and reports what the disk made of
// it: lost samples, the writer thread's share of a core, its slowest single write, the buffer's
// highest fill, and the slowest hand-over on the producer's side.
//
// Usage: bench_recorder [FOLDER] [SECONDS] [RATE_MSPS] [--keep]
//   FOLDER     where the recording goes (default: the current folder)
//   SECONDS    how long to record (default 120)
//   RATE_MSPS  sample rate (default 30)
//   --keep     keep the recording (by default it is deleted afterwards)
#include "recording/IqRecorder.h"

#include "acquisition/IqSample.h"
#include "platform/MonotonicClock.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

constexpr std::size_t kBlockSamples = 4096;
constexpr std::size_t kBlockBytes = kBlockSamples * kIqSampleBytes;

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else
            args.emplace_back(argv[i]);
    }
    const QString folder = QDir(args.size() > 0 ? QString::fromStdString(args[0]) : QDir::currentPath()).absolutePath();
    const double seconds = args.size() > 1 ? std::stod(args[1]) : 120.0;
    const double rateMsps = args.size() > 2 ? std::stod(args[2]) : 30.0;
    const auto rateHz = static_cast<uint32_t>(rateMsps * 1e6);

    // Noise-like samples, so that nothing on the way can make them cheaper than real IQ.
    std::vector<uint8_t> blocks(64 * kBlockBytes);
    std::mt19937 random(1);
    for (uint8_t& byte : blocks)
        byte = static_cast<uint8_t>(random());

    IqRecorder recorder;
    recorder.runStarted({rateHz, 100'000'000, "bench", ""});
    const QString name = QStringLiteral("bench-recording-%1").arg(::getpid());
    const QString error = recorder.start({folder, name, QStringLiteral("recorder benchmark")});
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    std::printf("recording %.0f s at %.1f MS/s (%.1f MB/s) into %s\n", seconds, rateMsps, rateHz * 4e-6,
                folder.toUtf8().constData());

    // Blocks are due at the receiver's pace; the producer sleeps until the next one is due and
    // then hands over every block due by then, as an RX thread woken late would.
    const uint64_t totalBlocks = static_cast<uint64_t>(seconds * rateHz / kBlockSamples);
    const double blockNs = 1e9 * kBlockSamples / rateHz;
    const int64_t start = monotonicNowNs();
    int64_t worstHandOverNs = 0;
    int64_t nextReport = start + 10'000'000'000;
    for (uint64_t block = 0; block < totalBlocks;) {
        const int64_t now = monotonicNowNs();
        const auto due = static_cast<uint64_t>(static_cast<double>(now - start) / blockNs);
        if (block >= due) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<int64_t>(blockNs)));
            continue;
        }
        for (; block < std::min(due, totalBlocks); ++block) {
            const uint8_t* data = blocks.data() + (block % 64) * kBlockBytes;
            const int64_t before = monotonicNowNs();
            recorder.delivered(data, kBlockBytes);
            worstHandOverNs = std::max(worstHandOverNs, monotonicNowNs() - before);
        }
        if (now >= nextReport) {
            const RecordingFigures figures = recorder.figures();
            std::printf("  %3.0f s: %.2f GB written, dropped=%llu, highest fill %.1f MB\n", (now - start) / 1e9,
                        figures.bytesWritten / 1e9, static_cast<unsigned long long>(figures.droppedSamples),
                        figures.highestFillBytes / 1e6);
            std::fflush(stdout);
            nextReport += 10'000'000'000;
        }
    }
    const RecordingFigures before = recorder.figures();
    const int64_t recordedNs = monotonicNowNs() - start;
    recorder.stop();
    const int64_t stoppedNs = monotonicNowNs() - start;
    const RecordingFigures figures = recorder.figures();

    std::printf("written %.2f GB (%llu samples of %llu delivered), lost samples=%llu\n", figures.bytesWritten / 1e9,
                static_cast<unsigned long long>(figures.bytesWritten / kIqSampleBytes),
                static_cast<unsigned long long>(totalBlocks * kBlockSamples),
                static_cast<unsigned long long>(before.droppedSamples));
    std::printf("writer thread CPU %.1f %% of a core (%.2f s over %.1f s)\n",
                100.0 * figures.writerCpuNs / stoppedNs, figures.writerCpuNs / 1e9, stoppedNs / 1e9);
    std::printf("worst single write %.1f ms; buffer highest fill %.1f MB of %.1f MB (%.1f %%)\n",
                figures.worstWriteNs / 1e6, before.highestFillBytes / 1e6, before.bufferBytes / 1e6,
                100.0 * before.highestFillBytes / before.bufferBytes);
    std::printf("slowest hand-over on the producer's side %.1f us; stop (drain and sync) took %.2f s\n",
                worstHandOverNs / 1e3, (stoppedNs - recordedNs) / 1e9);
    if (!figures.message.isEmpty())
        std::printf("message: %s\n", figures.message.toUtf8().constData());
    if (!keep) {
        QFile::remove(QDir(folder).filePath(name + QStringLiteral(".sigmf-data")));
        QFile::remove(QDir(folder).filePath(name + QStringLiteral(".sigmf-meta")));
    }
    return figures.message.isEmpty() && before.droppedSamples == 0 ? 0 : 1;
}
