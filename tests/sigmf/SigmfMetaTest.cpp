#include "sigmf/SigmfMeta.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace std::chrono;

SigmfTime at(int y, unsigned mo, unsigned d, int h, int mi, int s, long us) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s} + microseconds{us};
}

// A recording with a retune and, before it, 1000 samples the receiver lost: the second capture
// starts 5000 samples on in the file but 6000 on in the stream. Its samples go past 4 GiB.
SigmfMeta recording() {
    SigmfMeta meta;
    meta.global.datatype = QStringLiteral("ci16_le");
    meta.global.sampleRate = 30e6;
    meta.global.recorder = QStringLiteral("NorvaleRTSA 0.1");
    meta.global.hw = QStringLiteral("RZ640 SN 1234");
    meta.global.description = QStringLiteral("roof antenna");
    meta.captures.push_back({0, 0, 99.4e6, at(2026, 12, 8, 10, 15, 42, 123456)});
    meta.captures.push_back({5'000'000'000ULL, 5'000'001'000ULL, 101.7e6, at(2026, 12, 8, 10, 18, 29, 5)});
    meta.annotations.push_back({0, 5'000'000'000ULL, 99.3e6, 99.5e6, QStringLiteral("M1")});
    return meta;
}

QJsonObject jsonOf(const SigmfMeta& meta) { return QJsonDocument::fromJson(sigmfMetaToJson(meta)).object(); }

QByteArray withGlobal(const char* globalFields, const char* captures = "[]") {
    return QByteArray("{\"global\": {") + globalFields + "}, \"captures\": " + captures + "}";
}

constexpr auto kGoodGlobal = R"("core:datatype": "ci16_le", "core:version": "1.2.0")";

}  // namespace

TEST(SigmfMetaTest, WritesTheFieldsUnderTheirOwnNames) {
    const QJsonObject root = jsonOf(recording());
    const QJsonObject global = root.value("global").toObject();
    EXPECT_EQ(global.value("core:datatype").toString(), "ci16_le");
    EXPECT_EQ(global.value("core:sample_rate").toDouble(), 30e6);
    EXPECT_EQ(global.value("core:version").toString(), "1.2.0");
    EXPECT_EQ(global.value("core:recorder").toString(), "NorvaleRTSA 0.1");
    EXPECT_EQ(global.value("core:hw").toString(), "RZ640 SN 1234");
    EXPECT_EQ(global.value("core:description").toString(), "roof antenna");

    const QJsonArray captures = root.value("captures").toArray();
    ASSERT_EQ(captures.size(), 2);
    const QJsonObject second = captures.at(1).toObject();
    EXPECT_EQ(second.value("core:sample_start").toInteger(), 5'000'000'000LL);
    EXPECT_EQ(second.value("core:global_index").toInteger(), 5'000'001'000LL);
    EXPECT_EQ(second.value("core:frequency").toDouble(), 101.7e6);
    EXPECT_EQ(captures.at(0).toObject().value("core:datetime").toString(), "2026-12-08T10:15:42.123456Z");
    EXPECT_EQ(second.value("core:datetime").toString(), "2026-12-08T10:18:29.000005Z");

    const QJsonObject marker = root.value("annotations").toArray().at(0).toObject();
    EXPECT_EQ(marker.value("core:sample_count").toInteger(), 5'000'000'000LL);
    EXPECT_EQ(marker.value("core:freq_lower_edge").toDouble(), 99.3e6);
    EXPECT_EQ(marker.value("core:freq_upper_edge").toDouble(), 99.5e6);
    EXPECT_EQ(marker.value("core:label").toString(), "M1");

    // Readers of other programs expect the file to be readable by eye as well.
    EXPECT_TRUE(sigmfMetaToJson(recording()).contains("\n    \"global\""));
}

TEST(SigmfMetaTest, LeavesOutWhatIsNotKnownAndSortsByFirstSample) {
    SigmfMeta meta;
    meta.global.datatype = QStringLiteral("cf32_le");
    meta.captures.push_back({700, std::nullopt, 2e6, std::nullopt});
    meta.captures.push_back({0, std::nullopt, 1e6, std::nullopt});
    meta.annotations.push_back({50, std::nullopt, std::nullopt, std::nullopt, QString()});
    meta.annotations.push_back({10, 5, std::nullopt, std::nullopt, QStringLiteral("early")});
    const QJsonObject root = jsonOf(meta);
    const QJsonObject global = root.value("global").toObject();
    EXPECT_FALSE(global.contains("core:sample_rate"));
    EXPECT_FALSE(global.contains("core:recorder"));
    EXPECT_FALSE(global.contains("core:hw"));
    EXPECT_FALSE(global.contains("core:description"));

    const QJsonArray captures = root.value("captures").toArray();
    EXPECT_EQ(captures.at(0).toObject().value("core:frequency").toDouble(), 1e6);
    EXPECT_EQ(captures.at(1).toObject().value("core:sample_start").toInteger(), 700);
    EXPECT_FALSE(captures.at(0).toObject().contains("core:datetime"));
    EXPECT_FALSE(captures.at(0).toObject().contains("core:global_index"));
    const QJsonArray annotations = root.value("annotations").toArray();
    EXPECT_EQ(annotations.at(0).toObject().value("core:label").toString(), "early");
    EXPECT_FALSE(annotations.at(1).toObject().contains("core:label"));
    EXPECT_FALSE(annotations.at(1).toObject().contains("core:freq_lower_edge"));
}

TEST(SigmfMetaTest, ReadsBackWhatItWrote) {
    const SigmfMeta written = recording();
    const SigmfParseResult read = parseSigmfMeta(sigmfMetaToJson(written));
    ASSERT_TRUE(read.meta) << read.error.toStdString();
    const SigmfMeta& meta = *read.meta;
    EXPECT_EQ(meta.global.datatype, written.global.datatype);
    EXPECT_EQ(meta.global.sampleRate, written.global.sampleRate);
    EXPECT_EQ(meta.global.version, written.global.version);
    EXPECT_EQ(meta.global.recorder, written.global.recorder);
    EXPECT_EQ(meta.global.hw, written.global.hw);
    EXPECT_EQ(meta.global.description, written.global.description);
    ASSERT_EQ(meta.captures.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(meta.captures[i].sampleStart, written.captures[i].sampleStart);
        EXPECT_EQ(meta.captures[i].globalIndex, written.captures[i].globalIndex);
        EXPECT_EQ(meta.captures[i].frequency, written.captures[i].frequency);
        EXPECT_EQ(meta.captures[i].datetime, written.captures[i].datetime);
    }
    ASSERT_EQ(meta.annotations.size(), 1u);
    EXPECT_EQ(meta.annotations[0].sampleCount, written.annotations[0].sampleCount);
    EXPECT_EQ(meta.annotations[0].freqLowerEdge, written.annotations[0].freqLowerEdge);
    EXPECT_EQ(meta.annotations[0].freqUpperEdge, written.annotations[0].freqUpperEdge);
    EXPECT_EQ(meta.annotations[0].label, written.annotations[0].label);
}

TEST(SigmfMetaTest, ReadsOtherWritersMetas) {
    // Keys of their own, integers written as floats, annotations out of order, a zone offset.
    const QByteArray json = R"({
        "global": {"core:datatype": "cu8", "core:version": "1.0.0", "core:sample_rate": 2.4e6,
                   "other:antenna": {"gain": 3}},
        "captures": [{"core:sample_start": 0.0, "core:datetime": "2020-01-01T01:00:00+01:00"},
                     {"core:sample_start": 2048, "core:frequency": 433.92e6, "other:note": "x"}],
        "annotations": [{"core:sample_start": 90}, {"core:sample_start": 3, "core:label": "first"}],
        "other:extension": []
    })";
    const SigmfParseResult read = parseSigmfMeta(json);
    ASSERT_TRUE(read.meta) << read.error.toStdString();
    EXPECT_EQ(read.meta->global.datatype, "cu8");
    EXPECT_EQ(read.meta->global.sampleRate, 2.4e6);
    ASSERT_EQ(read.meta->captures.size(), 2u);
    EXPECT_EQ(read.meta->captures[0].datetime, at(2020, 1, 1, 0, 0, 0, 0));
    EXPECT_FALSE(read.meta->captures[0].frequency);
    EXPECT_EQ(read.meta->captures[1].frequency, 433.92e6);
    EXPECT_FALSE(read.meta->captures[1].globalIndex);
    ASSERT_EQ(read.meta->annotations.size(), 2u);
    EXPECT_EQ(read.meta->annotations[0].label, "first");
}

TEST(SigmfMetaTest, RefusesBrokenMetasSayingWhy) {
    const struct {
        QByteArray json;
        const char* why;
    } cases[] = {
        {"{\"global\": {", "not JSON"},
        {"[1, 2]", "not a JSON object"},
        {R"({"captures": []})", "no \"global\""},
        {withGlobal(R"("core:version": "1.2.0")"), "core:datatype"},
        {withGlobal(R"("core:datatype": "ci16_le")"), "core:version"},
        {withGlobal(R"("core:datatype": "ci16_le", "core:version": "2.0.0")"), "version"},
        {withGlobal(R"("core:datatype": 4, "core:version": "1.2.0")"), "not a string"},
        {withGlobal(R"("core:datatype": "ci16", "core:version": "1.2.0")"), "datatype \"ci16\""},
        {withGlobal(R"("core:datatype": "cu8_le", "core:version": "1.2.0")"), "datatype"},
        {withGlobal(R"("core:datatype": "ci16_le", "core:version": "1.2.0", "core:sample_rate": 0)"), "sample rate"},
        {withGlobal(R"("core:datatype": "ci16_le", "core:version": "1.2.0", "core:sample_rate": "fast")"),
         "not a number"},
        {QByteArray("{\"global\": {") + kGoodGlobal + "}}", "no \"captures\""},
        {withGlobal(kGoodGlobal, "[{\"core:frequency\": 1e6}]"), "capture 0 has no core:sample_start"},
        {withGlobal(kGoodGlobal, "[{\"core:sample_start\": -1}]"), "whole number"},
        {withGlobal(kGoodGlobal, "[{\"core:sample_start\": 1.5}]"), "whole number"},
        {withGlobal(kGoodGlobal, "[7]"), "not an object"},
        {withGlobal(kGoodGlobal, R"([{"core:sample_start": 100}, {"core:sample_start": 40}])"),
         "capture 1 does not start after capture 0"},
        {withGlobal(kGoodGlobal, R"([{"core:sample_start": 100}, {"core:sample_start": 100}])"), "capture 1"},
        {withGlobal(kGoodGlobal, R"([{"core:sample_start": 0, "core:datetime": "2026-12-08 10:15:42"}])"),
         "RFC 3339"},
        {withGlobal(kGoodGlobal, R"([{"core:sample_start": 0, "core:datetime": "2026-12-08T10:15:42"}])"),
         "RFC 3339"},
        {withGlobal(kGoodGlobal, R"([{"core:sample_start": 0, "core:datetime": "2026-02-30T10:15:42Z"}])"),
         "RFC 3339"},
        {withGlobal(kGoodGlobal, R"([{"core:sample_start": 0, "core:global_index": "3"}])"), "whole number"},
        {QByteArray("{\"global\": {") + kGoodGlobal + R"(}, "captures": [], "annotations": [{"core:label": "a"}]})",
         "annotation 0 has no core:sample_start"},
    };
    for (const auto& c : cases) {
        const SigmfParseResult read = parseSigmfMeta(c.json);
        EXPECT_FALSE(read.meta) << c.json.toStdString();
        EXPECT_TRUE(read.error.contains(QLatin1String(c.why)))
            << c.json.toStdString() << " -> " << read.error.toStdString();
    }
}

TEST(SigmfMetaTest, SampleSizeFollowsTheDatatype) {
    EXPECT_EQ(sigmfSampleBytes("ci16_le"), 4);
    EXPECT_EQ(sigmfSampleBytes("cf32_le"), 8);
    EXPECT_EQ(sigmfSampleBytes("cf64_be"), 16);
    EXPECT_EQ(sigmfSampleBytes("cu8"), 2);
    EXPECT_EQ(sigmfSampleBytes("ri8"), 1);
    EXPECT_EQ(sigmfSampleBytes("rf32_le"), 4);
    for (const char* wrong : {"", "ci16", "cu8_le", "cf16_le", "ci64_le", "cf8", "xi16_le", "ci16_le "})
        EXPECT_EQ(sigmfSampleBytes(wrong), 0) << wrong;
}

TEST(SigmfMetaTest, TimesAreRfc3339InUtc) {
    const QRegularExpression rfc3339Utc(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{6}Z$)");
    for (const SigmfTime time : {at(1970, 1, 1, 0, 0, 0, 0), at(2026, 12, 8, 23, 59, 59, 999999),
                                 at(2024, 2, 29, 12, 0, 0, 1), at(1969, 12, 31, 23, 59, 59, 500000)}) {
        const QString text = formatSigmfTime(time);
        EXPECT_TRUE(rfc3339Utc.match(text).hasMatch()) << text.toStdString();
        EXPECT_EQ(parseSigmfTime(text), time) << text.toStdString();
    }
    EXPECT_EQ(formatSigmfTime(at(1969, 12, 31, 23, 59, 59, 500000)), "1969-12-31T23:59:59.500000Z");
    EXPECT_EQ(parseSigmfTime("2026-12-08T10:15:42Z"), at(2026, 12, 8, 10, 15, 42, 0));
    EXPECT_EQ(parseSigmfTime("2026-12-08t10:15:42.5z"), at(2026, 12, 8, 10, 15, 42, 500000));
    // Digits past the microsecond are dropped.
    EXPECT_EQ(parseSigmfTime("2026-12-08T10:15:42.123456789Z"), at(2026, 12, 8, 10, 15, 42, 123456));
    EXPECT_EQ(parseSigmfTime("2026-12-08T03:45:00-05:30"), at(2026, 12, 8, 9, 15, 0, 0));
    for (const char* wrong : {"2026-12-08T10:15:42", "2026-12-08T24:00:00Z", "2026-13-01T00:00:00Z",
                              "2026-12-08T10:15:42.Z", "2026-12-08T10:15Z", "2026-12-08T10:15:42+0100", ""})
        EXPECT_FALSE(parseSigmfTime(wrong)) << wrong;
}

TEST(SigmfMetaTest, AtomicWriteReplacesTheFileWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("r.sigmf-meta");
    SigmfMeta meta = recording();
    ASSERT_EQ(writeSigmfMetaAtomically(path, meta), QString());

    // A reader opening the file while it is rewritten again and again always finds a whole meta,
    // with one capture more each time: an old or a new one, never a part.
    std::atomic<bool> writing{true};
    std::atomic<int> broken{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (writing.load()) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) {
                ++broken;
                continue;
            }
            if (!parseSigmfMeta(file.readAll()).meta) ++broken;
            ++reads;
        }
    });
    for (int i = 0; i < 300; ++i) {
        meta.captures.push_back({6'000'000'000ULL + std::uint64_t(i), std::nullopt, 1e6, std::nullopt});
        ASSERT_EQ(writeSigmfMetaAtomically(path, meta), QString());
    }
    writing = false;
    reader.join();
    EXPECT_EQ(broken.load(), 0) << "of " << reads.load() << " reads";

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const SigmfParseResult last = parseSigmfMeta(file.readAll());
    ASSERT_TRUE(last.meta);
    EXPECT_EQ(last.meta->captures.size(), 302u);
    // Nothing is left behind beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"r.sigmf-meta"});
}

TEST(SigmfMetaTest, AtomicWriteSaysWhyItCannotWrite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A folder that is a file cannot be written into, not even by root.
    QFile notAFolder(dir.filePath("plain"));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    const QString path = dir.filePath("plain/r.sigmf-meta");
    const QString error = writeSigmfMetaAtomically(path, recording());
    EXPECT_TRUE(error.startsWith("cannot write " + path)) << error.toStdString();
}
