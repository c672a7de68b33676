// SigMF recordings as playback reads them: the three datatypes to the analyser's 16-bit pairs,
// captures with their frequencies, times and stated losses, and metas it cannot use.
#include "playback/SigmfRecording.h"
#include "sigmf/SigmfMeta.h"
#include "tests/playback/PlaybackFiles.h"

#include <QFile>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

SigmfMeta metaOf(const char* datatype)
{
    SigmfMeta meta;
    meta.global.datatype = datatype;
    meta.global.sampleRate = 2e6;
    SigmfCapture first;
    first.frequency = 99.4e6;
    first.globalIndex = 0;
    first.datetime = parseSigmfTime(QStringLiteral("2026-12-08T10:15:42.123456Z"));
    meta.captures.push_back(first);
    return meta;
}

void writeMeta(const std::string& base, const SigmfMeta& meta)
{
    QFile file(QString::fromStdString(base + ".sigmf-meta"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(sigmfMetaToJson(meta));
}

std::vector<int16_t> readAll(const RecordingInfo& info)
{
    RecordingFile file(info);
    std::vector<int16_t> out(2 * file.lengthSamples());
    file.read(out.data(), file.lengthSamples());
    return out;
}

std::string refusal(const std::string& path)
{
    try {
        sigmfRecording(path);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

TEST(SigmfRecording, ReadsEachDatatypeAsSixteenBitPairs)
{
    TempFolder folder;
    const std::string ci16 = folder.file("ci16");
    writeMeta(ci16, metaOf("ci16_le"));
    writeFile(ci16 + ".sigmf-data", std::vector<int16_t>{1, -2, 32767, -32768});
    EXPECT_EQ(readAll(sigmfRecording(ci16 + ".sigmf-meta")), (std::vector<int16_t>{1, -2, 32767, -32768}));

    const std::string cf32 = folder.file("cf32");
    writeMeta(cf32, metaOf("cf32_le"));
    writeFile(cf32 + ".sigmf-data", std::vector<float>{0.5f, -1.0f, 1.5f, -0.25f});
    EXPECT_EQ(readAll(sigmfRecording(cf32 + ".sigmf-data")), (std::vector<int16_t>{16384, -32768, 32767, -8192}));

    const std::string cu8 = folder.file("cu8");
    writeMeta(cu8, metaOf("cu8"));
    writeFile(cu8 + ".sigmf-data", std::vector<uint8_t>{128, 0, 255, 64});
    const RecordingInfo info = sigmfRecording(cu8);
    EXPECT_EQ(readAll(info), (std::vector<int16_t>{0, -32768, 32512, -16384}));
    EXPECT_EQ(info.sampleRateHz, 2'000'000u);
    ASSERT_EQ(info.captures.size(), 1u);
    EXPECT_EQ(info.captures[0].frequencyHz, 99'400'000u);
    // 2026-12-08T10:15:42.123456Z
    EXPECT_EQ(info.captures[0].utcMicroseconds, 1'796'724'942'123'456);
}

TEST(SigmfRecording, TakesCapturesAndTheSamplesStatedLostBetweenThem)
{
    TempFolder folder;
    const std::string base = folder.file("retuned");
    SigmfMeta meta = metaOf("ci16_le");
    SigmfCapture second;
    second.sampleStart = 1000;
    // 250 samples never reached the file before this capture.
    second.globalIndex = 1250;
    second.frequency = 101.1e6;
    meta.captures.push_back(second);
    SigmfCapture third;
    third.sampleStart = 3000;
    third.globalIndex = 3250;
    meta.captures.push_back(third);
    writeMeta(base, meta);
    writeFile(base + ".sigmf-data", countingPairs(4000));

    const RecordingInfo info = sigmfRecording(base);
    ASSERT_EQ(info.captures.size(), 3u);
    EXPECT_EQ(info.captures[1].sampleStart, 1000u);
    EXPECT_EQ(info.captures[1].frequencyHz, 101'100'000u);
    EXPECT_FALSE(info.captures[1].utcMicroseconds.has_value());
    // Without a frequency of its own a capture keeps the one before.
    EXPECT_EQ(info.captures[2].frequencyHz, 101'100'000u);
    EXPECT_EQ(info.lostSamples, 250u);
    RecordingFile file(info);
    EXPECT_EQ(file.captureAt(999), 0u);
    EXPECT_EQ(file.captureAt(1000), 1u);
    EXPECT_EQ(file.captureEnd(1), 3000u);
    EXPECT_EQ(file.captureEnd(2), 4000u);
}

TEST(SigmfRecording, AMissingOrBrokenMetaIsRefusedWithAReason)
{
    TempFolder folder;
    EXPECT_NE(refusal(folder.file("none.sigmf-meta")).find("cannot open"), std::string::npos);

    const std::string broken = folder.file("broken");
    writeFile(broken + ".sigmf-meta", std::vector<char>{'{', '"', 'g'});
    writeFile(broken + ".sigmf-data", countingPairs(10));
    const std::string brokenText = refusal(broken);
    EXPECT_NE(brokenText.find("broken.sigmf-meta"), std::string::npos) << brokenText;

    const std::string ci8 = folder.file("ci8");
    writeMeta(ci8, metaOf("ci8"));
    EXPECT_NE(refusal(ci8).find("ci8 is not played"), std::string::npos);

    const std::string fast = folder.file("fast");
    SigmfMeta fastMeta = metaOf("ci16_le");
    fastMeta.global.sampleRate = 61.44e6;
    writeMeta(fast, fastMeta);
    writeFile(fast + ".sigmf-data", countingPairs(10));
    EXPECT_THROW(RecordingFile file(sigmfRecording(fast)), std::runtime_error);

    const std::string untuned = folder.file("untuned");
    SigmfMeta untunedMeta = metaOf("ci16_le");
    untunedMeta.captures[0].frequency.reset();
    writeMeta(untuned, untunedMeta);
    EXPECT_NE(refusal(untuned).find("core:frequency"), std::string::npos);

    // The meta alone: the data is missing.
    const std::string alone = folder.file("alone");
    writeMeta(alone, metaOf("ci16_le"));
    EXPECT_THROW(RecordingFile file(sigmfRecording(alone)), std::runtime_error);
}

} // namespace
