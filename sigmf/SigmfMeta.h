#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// The metadata of a SigMF recording (the NAME.sigmf-meta beside NAME.sigmf-data): what the
// recorder writes and what playback reads. Fields other writers may leave out are optional;
// keys this model does not know are ignored when reading.

using SigmfTime = std::chrono::sys_time<std::chrono::microseconds>;

inline constexpr const char* kSigmfVersion = "1.2.0";
inline constexpr const char* kSigmfRecorderName = "NorvaleRTSA";

struct SigmfGlobal {
    QString datatype;                  // "ci16_le", "cf32_le", "cu8", ...
    std::optional<double> sampleRate;  // Hz
    QString version = kSigmfVersion;
    QString recorder;     // "NorvaleRTSA 0.1"; empty: left out
    QString hw;           // device and serial; empty: left out
    QString description;  // empty: left out
};

// A segment of the data file recorded at one tuning, from its first sample on.
struct SigmfCapture {
    std::uint64_t sampleStart = 0;  // in the data file
    // The segment's first sample counted in the receiver's stream since the recording started,
    // samples lost before the file included: a larger step here than in sampleStart between two
    // segments is the number of samples lost between them.
    std::optional<std::uint64_t> globalIndex;
    std::optional<double> frequency;  // Hz
    std::optional<SigmfTime> datetime;
};

struct SigmfAnnotation {
    std::uint64_t sampleStart = 0;
    std::optional<std::uint64_t> sampleCount;
    std::optional<double> freqLowerEdge;  // Hz
    std::optional<double> freqUpperEdge;  // Hz
    QString label;                        // empty: left out
};

struct SigmfMeta {
    SigmfGlobal global;
    std::vector<SigmfCapture> captures;
    std::vector<SigmfAnnotation> annotations;
};

// The number of bytes one sample (all its components) takes in the data file, or 0 for a datatype
// that is not of the form [rc](f32|f64|i32|i16|u32|u16|i8|u8)[_le|_be].
int sigmfSampleBytes(const QString& datatype);

// RFC 3339 in UTC with microseconds, "2026-12-08T10:15:42.123456Z".
QString formatSigmfTime(SigmfTime time);
// Reads any RFC 3339 date and time with a zone ("Z" or "+01:00"), the fraction optional.
std::optional<SigmfTime> parseSigmfTime(const QString& text);

// The meta as indented JSON, captures and annotations in the order of their first sample.
QByteArray sigmfMetaToJson(const SigmfMeta& meta);

struct SigmfParseResult {
    std::optional<SigmfMeta> meta;
    QString error;  // why there is no meta
};
// Refuses JSON that is not a SigMF meta: a missing or malformed required field, a datatype or
// datetime in the wrong form, captures out of order.
SigmfParseResult parseSigmfMeta(const QByteArray& json);

// Replaces the file at path with the meta so that a reader sees either the old file or the new
// one whole, never a part: written beside it under another name, flushed to disk, renamed over it.
// Returns an empty string, or why it could not.
QString writeSigmfMetaAtomically(const QString& path, const SigmfMeta& meta);
