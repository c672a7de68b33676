// What the recorder writes, the player reads back: every sample in order, each capture at its
// frequency and first sample, and the samples lost on the way stated, not played.
#include "playback/RecordingFile.h"
#include "playback/SigmfRecording.h"
#include "recording/IqRecorder.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kBlockSamples = 4096;

// Block b of a stream whose sample k holds the number k in its four bytes.
std::vector<uint8_t> block(uint32_t b)
{
    std::vector<uint8_t> bytes(kBlockSamples * 4);
    for (uint32_t i = 0; i < kBlockSamples; ++i) {
        const uint32_t k = b * kBlockSamples + i;
        std::memcpy(bytes.data() + i * 4, &k, 4);
    }
    return bytes;
}

} // namespace

TEST(RecordedPlayback, ARecordingReadsBackSampleForSampleWithItsCapturesAndLosses)
{
    QTemporaryDir dir;
    IqRecorder::Options options;
    options.bufferBytes = 64 * kBlockSamples * 4;
    options.chunkBytes = 3 * kBlockSamples * 4;
    IqRecorder recorder(options);
    recorder.runStarted({10'000'000, 99'400'000, "RZ640", "5A000001"});
    ASSERT_EQ(recorder.start({dir.path(), QStringLiteral("round"), {}}), QString());

    // Ten blocks, a loss the receiver reports (blocks 10 to 12 never arrive), ten more, then a
    // retune and ten blocks at the new centre.
    for (uint32_t b = 0; b < 10; ++b)
        recorder.delivered(block(b).data(), kBlockSamples * 4);
    recorder.lost(3 * kBlockSamples);
    for (uint32_t b = 13; b < 23; ++b)
        recorder.delivered(block(b).data(), kBlockSamples * 4);
    recorder.runStopped();
    recorder.runStarted({10'000'000, 101'000'000, "RZ640", "5A000001"});
    for (uint32_t b = 23; b < 33; ++b)
        recorder.delivered(block(b).data(), kBlockSamples * 4);
    recorder.stop();
    ASSERT_EQ(recorder.figures().message, QString());

    const RecordingInfo info = sigmfRecording(dir.filePath(QStringLiteral("round")).toStdString());
    EXPECT_EQ(info.format, WireFormat::CS16);
    EXPECT_EQ(info.sampleRateHz, 10'000'000u);
    EXPECT_EQ(info.lostSamples, 3 * kBlockSamples);
    ASSERT_FALSE(info.captures.empty());
    EXPECT_EQ(info.captures.front().sampleStart, 0u);
    EXPECT_EQ(info.captures.front().frequencyHz, 99'400'000u);
    EXPECT_TRUE(info.captures.front().utcMicroseconds.has_value());
    EXPECT_EQ(info.captures.back().sampleStart, 20 * kBlockSamples);
    EXPECT_EQ(info.captures.back().frequencyHz, 101'000'000u);

    RecordingFile file(info);
    ASSERT_EQ(file.lengthSamples(), 30 * kBlockSamples);
    std::vector<int16_t> pairs(2 * file.lengthSamples());
    ASSERT_EQ(file.read(pairs.data(), file.lengthSamples()), file.lengthSamples());
    // Sample k of the file is stream sample k before the loss and k + 3 blocks after it.
    for (uint64_t k = 0; k < file.lengthSamples(); ++k) {
        uint32_t number = 0;
        std::memcpy(&number, pairs.data() + 2 * k, 4);
        const uint64_t expected = k < 10 * kBlockSamples ? k : k + 3 * kBlockSamples;
        ASSERT_EQ(number, expected) << "at sample " << k;
    }
    EXPECT_EQ(file.captureAt(20 * kBlockSamples - 1), info.captures.size() - 2);
    EXPECT_EQ(file.captureAt(20 * kBlockSamples), info.captures.size() - 1);
}
