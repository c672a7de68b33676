#include "sigmf/SigmfMeta.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>

namespace {

namespace key {
constexpr auto global = "global";
constexpr auto captures = "captures";
constexpr auto annotations = "annotations";
constexpr auto datatype = "core:datatype";
constexpr auto sampleRate = "core:sample_rate";
constexpr auto version = "core:version";
constexpr auto recorder = "core:recorder";
constexpr auto hw = "core:hw";
constexpr auto description = "core:description";
constexpr auto sampleStart = "core:sample_start";
constexpr auto sampleCount = "core:sample_count";
constexpr auto globalIndex = "core:global_index";
constexpr auto frequency = "core:frequency";
constexpr auto datetime = "core:datetime";
constexpr auto freqLowerEdge = "core:freq_lower_edge";
constexpr auto freqUpperEdge = "core:freq_upper_edge";
constexpr auto label = "core:label";
}  // namespace key

void putText(QJsonObject& object, const char* name, const QString& text) {
    if (!text.isEmpty()) object.insert(QLatin1String(name), text);
}

void putCount(QJsonObject& object, const char* name, std::uint64_t count) {
    object.insert(QLatin1String(name), static_cast<qint64>(count));
}

template <typename T>
void putOptional(QJsonObject& object, const char* name, const std::optional<T>& value) {
    if (!value) return;
    if constexpr (std::is_same_v<T, std::uint64_t>)
        putCount(object, name, *value);
    else
        object.insert(QLatin1String(name), *value);
}

template <typename T>
std::vector<T> sortedByStart(std::vector<T> items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const T& a, const T& b) { return a.sampleStart < b.sampleStart; });
    return items;
}

// Reading: each helper records the first fault it meets and the caller stops at the end of a step.
class Reader {
public:
    QString error;

    std::optional<QString> text(const QJsonObject& object, const char* name, const QString& where,
                                bool required) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isUndefined()) {
            if (required) fail(QStringLiteral("%1 has no %2").arg(where, QLatin1String(name)));
            return std::nullopt;
        }
        if (!value.isString()) {
            fail(QStringLiteral("%1 %2 is not a string").arg(where, QLatin1String(name)));
            return std::nullopt;
        }
        return value.toString();
    }

    std::optional<double> number(const QJsonObject& object, const char* name, const QString& where) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isUndefined()) return std::nullopt;
        if (!value.isDouble()) {
            fail(QStringLiteral("%1 %2 is not a number").arg(where, QLatin1String(name)));
            return std::nullopt;
        }
        return value.toDouble();
    }

    std::optional<std::uint64_t> count(const QJsonObject& object, const char* name, const QString& where,
                                       bool required) {
        const QJsonValue value = object.value(QLatin1String(name));
        if (value.isUndefined()) {
            if (required) fail(QStringLiteral("%1 has no %2").arg(where, QLatin1String(name)));
            return std::nullopt;
        }
        const qint64 whole = value.isDouble() ? value.toInteger(-1) : -1;
        if (whole < 0) {
            fail(QStringLiteral("%1 %2 is not a whole number of samples").arg(where, QLatin1String(name)));
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(whole);
    }

    void fail(const QString& why) {
        if (error.isEmpty()) error = why;
    }
};

std::optional<SigmfGlobal> readGlobal(Reader& reader, const QJsonObject& object) {
    const QString where = QStringLiteral("global");
    SigmfGlobal global;
    global.datatype = reader.text(object, key::datatype, where, true).value_or(QString());
    global.version = reader.text(object, key::version, where, true).value_or(QString());
    global.sampleRate = reader.number(object, key::sampleRate, where);
    global.recorder = reader.text(object, key::recorder, where, false).value_or(QString());
    global.hw = reader.text(object, key::hw, where, false).value_or(QString());
    global.description = reader.text(object, key::description, where, false).value_or(QString());
    if (!reader.error.isEmpty()) return std::nullopt;
    if (sigmfSampleBytes(global.datatype) == 0)
        reader.fail(QStringLiteral("unknown datatype \"%1\"").arg(global.datatype));
    static const QRegularExpression versionOne(QStringLiteral("^1\\.\\d+\\.\\d+"));
    if (!versionOne.match(global.version).hasMatch())
        reader.fail(QStringLiteral("SigMF version \"%1\" is not 1.x.y").arg(global.version));
    if (global.sampleRate && !(*global.sampleRate > 0))
        reader.fail(QStringLiteral("sample rate %1 is not positive").arg(*global.sampleRate));
    if (!reader.error.isEmpty()) return std::nullopt;
    return global;
}

std::optional<SigmfCapture> readCapture(Reader& reader, const QJsonObject& object, qsizetype index) {
    const QString where = QStringLiteral("capture %1").arg(index);
    SigmfCapture capture;
    capture.sampleStart = reader.count(object, key::sampleStart, where, true).value_or(0);
    capture.globalIndex = reader.count(object, key::globalIndex, where, false);
    capture.frequency = reader.number(object, key::frequency, where);
    if (const auto text = reader.text(object, key::datetime, where, false)) {
        capture.datetime = parseSigmfTime(*text);
        if (!capture.datetime)
            reader.fail(QStringLiteral("%1 datetime \"%2\" is not RFC 3339").arg(where, *text));
    }
    if (!reader.error.isEmpty()) return std::nullopt;
    return capture;
}

std::optional<SigmfAnnotation> readAnnotation(Reader& reader, const QJsonObject& object, qsizetype index) {
    const QString where = QStringLiteral("annotation %1").arg(index);
    SigmfAnnotation annotation;
    annotation.sampleStart = reader.count(object, key::sampleStart, where, true).value_or(0);
    annotation.sampleCount = reader.count(object, key::sampleCount, where, false);
    annotation.freqLowerEdge = reader.number(object, key::freqLowerEdge, where);
    annotation.freqUpperEdge = reader.number(object, key::freqUpperEdge, where);
    annotation.label = reader.text(object, key::label, where, false).value_or(QString());
    if (!reader.error.isEmpty()) return std::nullopt;
    return annotation;
}

// An array of objects under name, or nothing and a fault.
std::optional<QJsonArray> objectArray(Reader& reader, const QJsonObject& root, const char* name) {
    const QJsonValue value = root.value(QLatin1String(name));
    if (!value.isArray()) {
        reader.fail(QStringLiteral("no \"%1\" array").arg(QLatin1String(name)));
        return std::nullopt;
    }
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject()) {
            reader.fail(QStringLiteral("%1 entry %2 is not an object").arg(QLatin1String(name)).arg(i));
            return std::nullopt;
        }
    }
    return array;
}

}  // namespace

int sigmfSampleBytes(const QString& datatype) {
    static const QRegularExpression form(QStringLiteral("^([rc])([fiu])(8|16|32|64)(_le|_be)?$"));
    const QRegularExpressionMatch match = form.match(datatype);
    if (!match.hasMatch()) return 0;
    const bool isFloat = match.captured(2) == QLatin1String("f");
    const int bits = match.captured(3).toInt();
    const bool hasOrder = match.hasCaptured(4) && !match.captured(4).isEmpty();
    if (isFloat ? (bits != 32 && bits != 64) : bits == 64) return 0;
    // Bytes of one component have no order; wider components must state theirs.
    if ((bits == 8) == hasOrder) return 0;
    const int components = match.captured(1) == QLatin1String("c") ? 2 : 1;
    return components * bits / 8;
}

QString formatSigmfTime(SigmfTime time) {
    using namespace std::chrono;
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%06lldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<long long>(clock.subseconds().count()));
    return QString::fromLatin1(text);
}

std::optional<SigmfTime> parseSigmfTime(const QString& text) {
    using namespace std::chrono;
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})[Tt](\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d+))?(?:[Zz]|([+-])(\\d{2}):(\\d{2}))$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) return std::nullopt;
    const auto field = [&](int i) { return match.captured(i).toInt(); };
    const year_month_day date{year{field(1)}, month{static_cast<unsigned>(field(2))},
                              day{static_cast<unsigned>(field(3))}};
    // A leap second (60) is allowed by RFC 3339 and lands on the next second's first instant.
    if (!date.ok() || field(4) > 23 || field(5) > 59 || field(6) > 60) return std::nullopt;
    SigmfTime time = sys_days{date} + hours{field(4)} + minutes{field(5)} + seconds{field(6)};
    const QString fraction = match.captured(7).left(6).leftJustified(6, QLatin1Char('0'));
    time += microseconds{fraction.toLongLong()};
    if (match.hasCaptured(8) && !match.captured(8).isEmpty()) {
        if (field(9) > 23 || field(10) > 59) return std::nullopt;
        const minutes offset = hours{field(9)} + minutes{field(10)};
        time -= match.captured(8) == QLatin1String("+") ? offset : -offset;
    }
    return time;
}

QByteArray sigmfMetaToJson(const SigmfMeta& meta) {
    QJsonObject global;
    putText(global, key::datatype, meta.global.datatype);
    putOptional(global, key::sampleRate, meta.global.sampleRate);
    putText(global, key::version, meta.global.version);
    putText(global, key::recorder, meta.global.recorder);
    putText(global, key::hw, meta.global.hw);
    putText(global, key::description, meta.global.description);

    QJsonArray captures;
    for (const SigmfCapture& capture : sortedByStart(meta.captures)) {
        QJsonObject object;
        putCount(object, key::sampleStart, capture.sampleStart);
        putOptional(object, key::globalIndex, capture.globalIndex);
        putOptional(object, key::frequency, capture.frequency);
        if (capture.datetime) object.insert(QLatin1String(key::datetime), formatSigmfTime(*capture.datetime));
        captures.append(object);
    }

    QJsonArray annotations;
    for (const SigmfAnnotation& annotation : sortedByStart(meta.annotations)) {
        QJsonObject object;
        putCount(object, key::sampleStart, annotation.sampleStart);
        putOptional(object, key::sampleCount, annotation.sampleCount);
        putOptional(object, key::freqLowerEdge, annotation.freqLowerEdge);
        putOptional(object, key::freqUpperEdge, annotation.freqUpperEdge);
        putText(object, key::label, annotation.label);
        annotations.append(object);
    }

    QJsonObject root;
    root.insert(QLatin1String(key::global), global);
    root.insert(QLatin1String(key::captures), captures);
    root.insert(QLatin1String(key::annotations), annotations);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

SigmfParseResult parseSigmfMeta(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return {std::nullopt, QStringLiteral("not JSON: %1 at offset %2")
                                  .arg(parseError.errorString())
                                  .arg(parseError.offset)};
    if (!document.isObject()) return {std::nullopt, QStringLiteral("not a JSON object")};
    const QJsonObject root = document.object();

    Reader reader;
    if (!root.value(QLatin1String(key::global)).isObject()) return {std::nullopt, QStringLiteral("no \"global\" object")};
    SigmfMeta meta;
    const auto global = readGlobal(reader, root.value(QLatin1String(key::global)).toObject());
    if (!global) return {std::nullopt, reader.error};
    meta.global = *global;

    const auto captures = objectArray(reader, root, key::captures);
    if (!captures) return {std::nullopt, reader.error};
    for (qsizetype i = 0; i < captures->size(); ++i) {
        const auto capture = readCapture(reader, captures->at(i).toObject(), i);
        if (!capture) return {std::nullopt, reader.error};
        if (!meta.captures.empty() && capture->sampleStart <= meta.captures.back().sampleStart)
            return {std::nullopt, QStringLiteral("capture %1 does not start after capture %2").arg(i).arg(i - 1)};
        meta.captures.push_back(*capture);
    }

    // Annotations are optional; other writers do not always keep them in order, so they are sorted here.
    if (root.contains(QLatin1String(key::annotations))) {
        const auto annotations = objectArray(reader, root, key::annotations);
        if (!annotations) return {std::nullopt, reader.error};
        for (qsizetype i = 0; i < annotations->size(); ++i) {
            const auto annotation = readAnnotation(reader, annotations->at(i).toObject(), i);
            if (!annotation) return {std::nullopt, reader.error};
            meta.annotations.push_back(*annotation);
        }
        meta.annotations = sortedByStart(std::move(meta.annotations));
    }
    return {meta, QString()};
}

QString writeSigmfMetaAtomically(const QString& path, const SigmfMeta& meta) {
    // QSaveFile writes a temporary file in the same folder, syncs it and renames it over path.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    const QByteArray json = sigmfMetaToJson(meta);
    if (file.write(json) != json.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return QStringLiteral("cannot write %1: %2").arg(path, why);
    }
    if (!file.commit()) return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return QString();
}
