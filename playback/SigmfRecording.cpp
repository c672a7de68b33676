#include "playback/SigmfRecording.h"

#include "sigmf/SigmfMeta.h"

#include <QFile>

#include <cmath>
#include <stdexcept>

namespace {

constexpr const char* kMetaSuffix = ".sigmf-meta";
constexpr const char* kDataSuffix = ".sigmf-data";

std::string withoutSuffix(const std::string& path)
{
    for (const std::string suffix : {kMetaSuffix, kDataSuffix})
        if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
            return path.substr(0, path.size() - suffix.size());
    return path;
}

WireFormat wireFormatOf(const QString& datatype)
{
    if (datatype == QLatin1String("ci16_le"))
        return WireFormat::CS16;
    if (datatype == QLatin1String("cf32_le"))
        return WireFormat::CF32;
    if (datatype == QLatin1String("cu8"))
        return WireFormat::CU8;
    throw std::runtime_error("Recording: datatype " + datatype.toStdString() +
                             " is not played (ci16_le, cf32_le, cu8)");
}

} // namespace

RecordingInfo sigmfRecording(const std::string& path)
{
    const std::string base = withoutSuffix(path);
    const std::string metaPath = base + kMetaSuffix;
    QFile file(QString::fromStdString(metaPath));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Recording: cannot open " + metaPath + ": " + file.errorString().toStdString());
    const SigmfParseResult parsed = parseSigmfMeta(file.readAll());
    if (!parsed.meta)
        throw std::runtime_error("Recording: " + metaPath + ": " + parsed.error.toStdString());
    const SigmfMeta& meta = *parsed.meta;

    RecordingInfo info;
    info.dataPath = base + kDataSuffix;
    info.format = wireFormatOf(meta.global.datatype);
    // The file checks the rate against what the analyser processes.
    const double rate = meta.global.sampleRate.value_or(0.0);
    info.sampleRateHz = rate > 0.0 && rate < 4e9 ? static_cast<uint32_t>(std::lround(rate)) : 0;
    for (std::size_t i = 0; i < meta.captures.size(); ++i) {
        const SigmfCapture& capture = meta.captures[i];
        // A capture that does not give its frequency keeps the one before it.
        if (!capture.frequency && info.captures.empty())
            throw std::runtime_error("Recording: " + metaPath + ": the first capture has no core:frequency");
        const uint64_t frequency = capture.frequency ? static_cast<uint64_t>(std::llround(*capture.frequency))
                                                     : info.captures.back().frequencyHz;
        std::optional<int64_t> utc;
        if (capture.datetime)
            utc = capture.datetime->time_since_epoch().count();
        info.captures.push_back({capture.sampleStart, frequency, utc});
        if (i > 0 && capture.globalIndex && meta.captures[i - 1].globalIndex &&
            *capture.globalIndex >= *meta.captures[i - 1].globalIndex) {
            const uint64_t streamStep = *capture.globalIndex - *meta.captures[i - 1].globalIndex;
            const uint64_t fileStep = capture.sampleStart - meta.captures[i - 1].sampleStart;
            if (streamStep > fileStep)
                info.lostSamples += streamStep - fileStep;
        }
    }
    if (info.captures.empty())
        throw std::runtime_error("Recording: " + metaPath + ": no captures");
    return info;
}
