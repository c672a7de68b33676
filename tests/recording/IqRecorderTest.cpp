#include "recording/IqRecorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kSample = 4;
constexpr std::size_t kBlockSamples = 4096;
constexpr std::size_t kBlockBytes = kBlockSamples * kSample;

const IqTapRun kRun{30'000'000, 99'400'000, "RZ640", "5A000001"};

// Block b of the stream: its samples numbered from b * kBlockSamples (sample k holds k).
std::vector<uint8_t> block(uint32_t b)
{
    std::vector<uint8_t> bytes(kBlockBytes);
    for (uint32_t i = 0; i < kBlockSamples; ++i) {
        const uint32_t k = b * kBlockSamples + i;
        std::memcpy(bytes.data() + i * kSample, &k, kSample);
    }
    return bytes;
}

// The sample numbers of a data file.
std::vector<uint32_t> samplesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<uint32_t> samples(static_cast<std::size_t>(bytes.size()) / kSample);
    std::memcpy(samples.data(), bytes.data(), samples.size() * kSample);
    return samples;
}

std::vector<uint32_t> samplesOfBlocks(std::initializer_list<std::pair<uint32_t, uint32_t>> ranges)
{
    std::vector<uint32_t> samples;
    for (const auto& [first, end] : ranges)
        for (uint32_t k = first * kBlockSamples; k < end * kBlockSamples; ++k)
            samples.push_back(k);
    return samples;
}

SigmfParseResult metaOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("cannot open %1").arg(path)};
    return parseSigmfMeta(file.readAll());
}

template <typename Condition>
bool waitFor(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A real file whose writes wait while the test holds them, or fail once a byte budget is spent.
class ControlledFile : public DataFile {
public:
    struct Control {
        std::atomic<bool> held{false};
        std::atomic<uint64_t> budget{UINT64_MAX};
    };
    ControlledFile(std::unique_ptr<DataFile> file, Control& control) : m_file(std::move(file)), m_control(control) {}

    std::size_t write(const uint8_t* data, std::size_t bytes) override
    {
        while (m_control.held.load())
            std::this_thread::sleep_for(1ms);
        const uint64_t budget = m_control.budget.load();
        const std::size_t allowed = static_cast<std::size_t>(std::min<uint64_t>(bytes, budget));
        const std::size_t written = m_file->write(data, allowed);
        m_control.budget = budget - written;
        if (written < bytes)
            m_full = true;
        return written;
    }
    bool sync() override { return m_file->sync(); }
    bool truncate(uint64_t bytes) override { return m_file->truncate(bytes); }
    std::string error() const override { return m_full ? "No space left on device" : m_file->error(); }

private:
    std::unique_ptr<DataFile> m_file;
    Control& m_control;
    bool m_full = false;
};

class IqRecorderTest : public ::testing::Test {
protected:
    IqRecorder::Options options(std::size_t bufferBytes, std::size_t chunkBytes)
    {
        IqRecorder::Options options;
        options.bufferBytes = bufferBytes;
        options.chunkBytes = chunkBytes;
        options.createFile = [this](const std::string& path, std::string& error) -> std::unique_ptr<DataFile> {
            auto file = createDataFile(path, error);
            return file ? std::make_unique<ControlledFile>(std::move(file), control) : nullptr;
        };
        return options;
    }

    RecordingRequest request(const QString& name = QStringLiteral("rec")) const { return {dir.path(), name, {}}; }
    QString data(const QString& name = QStringLiteral("rec")) const { return dir.filePath(name + ".sigmf-data"); }
    QString meta(const QString& name = QStringLiteral("rec")) const { return dir.filePath(name + ".sigmf-meta"); }

    QTemporaryDir dir;
    ControlledFile::Control control;
};

} // namespace

TEST_F(IqRecorderTest, TheDataFileHoldsExactlyWhatWasDeliveredAcrossManyChunks)
{
    IqRecorder recorder(options(256 * 1024, 48 * 1024));
    recorder.runStarted(kRun);
    ASSERT_EQ(recorder.start({dir.path(), "rec", "roof antenna"}), QString());
    // The meta is there from the first moment.
    ASSERT_TRUE(metaOf(meta()).meta);

    // An RX thread delivering 2000 blocks (32 MB), never more than half the buffer ahead of the
    // writer, so that nothing is lost.
    constexpr uint32_t kBlocks = 2000;
    std::thread rx([&] {
        for (uint32_t b = 0; b < kBlocks; ++b) {
            waitFor([&] { return b * kBlockBytes - recorder.figures().bytesWritten < 128 * 1024; });
            const auto bytes = block(b);
            recorder.delivered(bytes.data(), bytes.size());
        }
    });
    rx.join();
    recorder.stop();

    const RecordingFigures figures = recorder.figures();
    EXPECT_FALSE(figures.recording);
    EXPECT_EQ(figures.droppedSamples + figures.receiverLostSamples, 0u);
    EXPECT_EQ(figures.bytesWritten, uint64_t{kBlocks} * kBlockBytes);
    EXPECT_EQ(figures.message, QString());
    EXPECT_TRUE(samplesOf(data()) == samplesOfBlocks({{0, kBlocks}}));

    const SigmfParseResult read = metaOf(meta());
    ASSERT_TRUE(read.meta) << read.error.toStdString();
    EXPECT_EQ(read.meta->global.datatype, "ci16_le");
    EXPECT_EQ(read.meta->global.sampleRate, 30e6);
    EXPECT_TRUE(read.meta->global.recorder.startsWith("NorvaleRTSA "));
    EXPECT_EQ(read.meta->global.hw, "RZ640 SN 5A000001");
    EXPECT_EQ(read.meta->global.description, "roof antenna");
    ASSERT_EQ(read.meta->captures.size(), 1u);
    EXPECT_EQ(read.meta->captures[0].sampleStart, 0u);
    EXPECT_EQ(read.meta->captures[0].globalIndex, 0u);
    EXPECT_EQ(read.meta->captures[0].frequency, 99.4e6);
    ASSERT_TRUE(read.meta->captures[0].datetime);
    EXPECT_LT(std::chrono::abs(std::chrono::system_clock::now() - *read.meta->captures[0].datetime), 10min);
}

TEST_F(IqRecorderTest, AFullBufferCountsTheLossAndTheNextSegmentStatesIt)
{
    // Sixteen blocks fill the buffer while the disk is held up: four more are lost.
    IqRecorder recorder(options(16 * kBlockBytes, 2 * kBlockBytes));
    recorder.runStarted(kRun);
    control.held = true;
    ASSERT_EQ(recorder.start(request()), QString());
    for (uint32_t b = 0; b < 20; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    RecordingFigures figures = recorder.figures();
    EXPECT_EQ(figures.droppedSamples, 4 * kBlockSamples);
    EXPECT_EQ(figures.highestFillBytes, 16 * kBlockBytes);
    EXPECT_EQ(figures.bufferBytes, 16 * kBlockBytes);

    control.held = false;
    ASSERT_TRUE(waitFor([&] { return recorder.figures().bytesWritten == 16 * kBlockBytes; }));
    for (uint32_t b = 20; b < 25; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    recorder.stop();

    EXPECT_TRUE(samplesOf(data()) == samplesOfBlocks({{0, 16}, {20, 25}}));
    const SigmfParseResult read = metaOf(meta());
    ASSERT_TRUE(read.meta) << read.error.toStdString();
    ASSERT_EQ(read.meta->captures.size(), 2u);
    const SigmfCapture& first = read.meta->captures[0];
    const SigmfCapture& resumed = read.meta->captures[1];
    EXPECT_EQ(resumed.sampleStart, 16 * kBlockSamples);
    EXPECT_EQ(resumed.globalIndex, 20 * kBlockSamples);
    EXPECT_EQ(resumed.frequency, 99.4e6);
    // Its time follows from the samples since the first one, the lost ones counted.
    EXPECT_EQ(*resumed.datetime - *first.datetime,
              std::chrono::microseconds{20 * kBlockSamples * 1'000'000 / 30'000'000});
}

TEST_F(IqRecorderTest, ReceiverLossesAndRetunesOpenSegmentsAtTheirSample)
{
    IqRecorder recorder(options(64 * kBlockBytes, 4 * kBlockBytes));
    recorder.runStarted(kRun);
    ASSERT_EQ(recorder.start(request()), QString());
    for (uint32_t b = 0; b < 3; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    recorder.lost(kBlockSamples);
    for (uint32_t b = 4; b < 6; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    // A retune ends one run and starts the next.
    recorder.runStopped();
    const auto beforeRetune = std::chrono::system_clock::now();
    recorder.runStarted({30'000'000, 101'700'000, "RZ640", "5A000001"});
    for (uint32_t b = 6; b < 8; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    recorder.stop();

    EXPECT_EQ(recorder.figures().receiverLostSamples, kBlockSamples);
    EXPECT_TRUE(samplesOf(data()) == samplesOfBlocks({{0, 3}, {4, 8}}));
    const SigmfParseResult read = metaOf(meta());
    ASSERT_TRUE(read.meta) << read.error.toStdString();
    ASSERT_EQ(read.meta->captures.size(), 3u);
    EXPECT_EQ(read.meta->captures[1].sampleStart, 3 * kBlockSamples);
    EXPECT_EQ(read.meta->captures[1].globalIndex, 4 * kBlockSamples);
    EXPECT_EQ(read.meta->captures[1].frequency, 99.4e6);
    const SigmfCapture& retuned = read.meta->captures[2];
    EXPECT_EQ(retuned.sampleStart, 5 * kBlockSamples);
    EXPECT_EQ(retuned.globalIndex, 6 * kBlockSamples);
    EXPECT_EQ(retuned.frequency, 101.7e6);
    EXPECT_GE(*retuned.datetime, std::chrono::time_point_cast<std::chrono::microseconds>(beforeRetune));
}

TEST_F(IqRecorderTest, ARateChangeEndsTheRecordingWithAValidMeta)
{
    IqRecorder recorder(options(64 * kBlockBytes, 4 * kBlockBytes));
    recorder.runStarted(kRun);
    ASSERT_EQ(recorder.start(request()), QString());
    for (uint32_t b = 0; b < 3; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    recorder.runStopped();
    recorder.runStarted({20'000'000, 99'400'000, "RZ640", "5A000001"});
    recorder.delivered(block(3).data(), kBlockBytes);
    ASSERT_TRUE(waitFor([&] { return !recorder.figures().recording; }));
    recorder.stop();
    EXPECT_EQ(recorder.figures().message, "Recording stopped: the sample rate changed");
    EXPECT_TRUE(samplesOf(data()) == samplesOfBlocks({{0, 3}}));
    const SigmfParseResult read = metaOf(meta());
    ASSERT_TRUE(read.meta);
    EXPECT_EQ(read.meta->global.sampleRate, 30e6);
    EXPECT_EQ(read.meta->captures.size(), 1u);
}

TEST_F(IqRecorderTest, AFailedWriteLeavesAValidRecordingAndSaysWhy)
{
    // The disk takes 10 blocks and part of a sample more.
    control.budget = 10 * kBlockBytes + 2;
    IqRecorder recorder(options(64 * kBlockBytes, 4 * kBlockBytes));
    recorder.runStarted(kRun);
    ASSERT_EQ(recorder.start(request()), QString());
    recorder.setMarkers({{0, std::nullopt, 99.3e6, 99.5e6, QStringLiteral("M1")}});
    for (uint32_t b = 0; b < 3; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    recorder.lost(100);
    for (uint32_t b = 3; b < 30; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    ASSERT_TRUE(waitFor([&] { return !recorder.figures().recording; }));
    // The RX thread goes on delivering; the recorder no longer takes anything.
    for (uint32_t b = 30; b < 40; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    const RecordingFigures figures = recorder.figures();
    EXPECT_EQ(figures.message, "Recording stopped: cannot write rec.sigmf-data: No space left on device");
    recorder.stop();
    EXPECT_EQ(recorder.figures().message, figures.message);

    // Whole samples only, exactly those written, described by the meta.
    EXPECT_EQ(QFile(data()).size(), qint64{10 * kBlockBytes});
    EXPECT_TRUE(samplesOf(data()) == samplesOfBlocks({{0, 10}}));
    const SigmfParseResult read = metaOf(meta());
    ASSERT_TRUE(read.meta) << read.error.toStdString();
    ASSERT_EQ(read.meta->captures.size(), 2u);
    EXPECT_EQ(read.meta->captures[1].sampleStart, 3 * kBlockSamples);
    EXPECT_EQ(read.meta->captures[1].globalIndex, 3 * kBlockSamples + 100);
    ASSERT_EQ(read.meta->annotations.size(), 1u);
    EXPECT_EQ(read.meta->annotations[0].sampleCount, 10 * kBlockSamples);
    EXPECT_EQ(read.meta->annotations[0].label, "M1");

    // The next recording starts afresh.
    control.budget = UINT64_MAX;
    ASSERT_EQ(recorder.start(request("again")), QString());
    recorder.delivered(block(0).data(), kBlockBytes);
    recorder.stop();
    EXPECT_EQ(recorder.figures().message, QString());
    EXPECT_TRUE(samplesOf(data("again")) == samplesOfBlocks({{0, 1}}));
}

TEST_F(IqRecorderTest, RefusesWhatItCannotRecordInto)
{
    IqRecorder recorder(options(16 * kBlockBytes, 4 * kBlockBytes));
    EXPECT_EQ(recorder.start(request()), "Start the receiver first");
    recorder.runStarted(kRun);

    // A name in use, by either file, is never overwritten.
    QFile existing(meta("taken"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("mine");
    existing.close();
    EXPECT_EQ(recorder.start(request("taken")), "taken already exists in " + dir.path());
    EXPECT_FALSE(QFile::exists(data("taken")));
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), "mine");

    EXPECT_EQ(recorder.start({dir.filePath("missing"), "rec", {}}), "No such folder: " + dir.filePath("missing"));
    EXPECT_EQ(recorder.start(request("a/b")), "Not a file name: \"a/b\"");

    // A folder the recorder may not write into (as root every folder is writable: skipped).
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(locked + "/probe");
    if (!probe.open(QIODevice::WriteOnly)) {
        const QString error = recorder.start({locked, "rec", {}});
        EXPECT_EQ(error, "Cannot create " + locked + "/rec.sigmf-data: Permission denied");
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(recorder.figures().recording);

    // Nothing was left behind by the refusals.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"taken.sigmf-meta"});
}

TEST_F(IqRecorderTest, MarkersBecomeAnnotationsOverTheWholeRecording)
{
    IqRecorder recorder(options(64 * kBlockBytes, 4 * kBlockBytes));
    recorder.runStarted(kRun);
    ASSERT_EQ(recorder.start(request()), QString());
    recorder.setMarkers({{0, std::nullopt, 99.3e6, 99.5e6, QStringLiteral("M1")}});
    for (uint32_t b = 0; b < 5; ++b)
        recorder.delivered(block(b).data(), kBlockBytes);
    recorder.setMarkers({{0, std::nullopt, 99.3e6, 99.5e6, QStringLiteral("M1")},
                         {0, std::nullopt, 100.9e6, 101.1e6, QStringLiteral("M2")}});
    recorder.stop();
    const SigmfParseResult read = metaOf(meta());
    ASSERT_TRUE(read.meta);
    ASSERT_EQ(read.meta->annotations.size(), 2u);
    EXPECT_EQ(read.meta->annotations[1].label, "M2");
    EXPECT_EQ(read.meta->annotations[1].sampleStart, 0u);
    EXPECT_EQ(read.meta->annotations[1].sampleCount, 5 * kBlockSamples);
    EXPECT_EQ(read.meta->annotations[1].freqLowerEdge, 100.9e6);
    EXPECT_EQ(read.meta->annotations[1].freqUpperEdge, 101.1e6);
}
