#include "recording/IqRecorder.h"

#include "acquisition/IqSample.h"
#include "platform/MonotonicClock.h"
#include "platform/ThreadName.h"
#include "platform/ThreadPriority.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <new>

namespace {

// How long the writer rests when there is less than a chunk to write: a few MB at 30 MS/s.
constexpr auto kWriterRest = std::chrono::milliseconds(5);

SigmfTime utcNow()
{
    return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
}

QString hardwareOf(const IqTapRun& run)
{
    QString hw = QString::fromStdString(run.deviceName);
    if (!run.serialNumber.empty())
        hw += QStringLiteral(" SN %1").arg(QString::fromStdString(run.serialNumber));
    return hw;
}

} // namespace

// What the writer thread owns while it runs; the control side touches it before and after.
struct IqRecorder::Recording {
    QString dataName;
    QString metaPath;
    std::unique_ptr<DataFile> file;
    SigmfMeta meta;
    // Samples lost so far, as stated by the segments opened.
    uint64_t lost = 0;
    bool failed = false;
};

IqRecorder::IqRecorder() : IqRecorder(Options{}) {}

IqRecorder::IqRecorder(Options options) : m_options(std::move(options)) {}

IqRecorder::~IqRecorder()
{
    stop();
}

QString IqRecorder::start(const RecordingRequest& request)
{
    const std::lock_guard lock(m_controlMutex);
    if (m_armed.load())
        return QStringLiteral("Already recording");
    // A recording that ended by itself is put away first; the RX thread may still be on its way
    // out of the spool.
    disarm();
    finishWriter();
    if (!m_run)
        return QStringLiteral("Start the receiver first");
    if (request.name.isEmpty() || request.name.contains(QLatin1Char('/')))
        return QStringLiteral("Not a file name: \"%1\"").arg(request.name);
    const QDir folder(request.folder);
    if (request.folder.isEmpty() || !folder.exists())
        return QStringLiteral("No such folder: %1").arg(request.folder);
    const QString dataName = request.name + QStringLiteral(".sigmf-data");
    const QString dataPath = folder.filePath(dataName);
    const QString metaPath = folder.filePath(request.name + QStringLiteral(".sigmf-meta"));
    if (QFileInfo::exists(dataPath) || QFileInfo::exists(metaPath))
        return QStringLiteral("%1 already exists in %2").arg(request.name, request.folder);

    auto recording = std::make_unique<Recording>();
    recording->dataName = dataName;
    recording->metaPath = metaPath;
    std::string why;
    recording->file = m_options.createFile(dataPath.toStdString(), why);
    if (!recording->file)
        return QStringLiteral("Cannot create %1: %2").arg(dataPath, QString::fromStdString(why));

    SigmfGlobal& global = recording->meta.global;
    global.datatype = QStringLiteral("ci16_le");
    global.sampleRate = m_run->sampleRateHz;
    m_recordingRateHz = m_run->sampleRateHz;
    global.recorder = QStringLiteral("%1 %2").arg(QLatin1String(kSigmfRecorderName), QStringLiteral(RTSA_VERSION));
    global.hw = hardwareOf(*m_run);
    global.description = request.description;
    recording->meta.captures.push_back({0, 0, static_cast<double>(m_run->centerHz), utcNow()});
    m_recording = std::move(recording);
    if (const QString error = writeMeta(0); !error.isEmpty()) {
        m_recording.reset();
        QFile::remove(dataPath);
        return error;
    }

    try {
        m_spool = std::make_unique<IqSpool>(m_options.bufferBytes, kIqSampleBytes, kMarkCapacity);
    } catch (const std::bad_alloc&) {
        m_recording.reset();
        QFile::remove(dataPath);
        QFile::remove(metaPath);
        return QStringLiteral("Not enough memory for the recording buffer");
    }
    m_bytesWritten = 0;
    m_receiverLost = 0;
    m_worstWriteNs = 0;
    m_writerCpuNs = 0;
    {
        const std::lock_guard messageLock(m_messageMutex);
        m_message.clear();
        m_dataPath = dataPath;
    }
    m_finishing = false;
    m_writerDone = false;
    m_writer = std::thread([this] {
        nameCurrentThread("rtsa-recorder");
        runWriter();
    });
    m_armed = true;
    return QString();
}

void IqRecorder::stop()
{
    const std::lock_guard lock(m_controlMutex);
    disarm();
    finishWriter();
}

void IqRecorder::disarm()
{
    m_armed = false;
    // Both sides use sequentially consistent order: either the RX thread saw the flag down, or
    // this sees it inside.
    while (m_inside.load() != 0)
        std::this_thread::yield();
}

void IqRecorder::finishWriter()
{
    m_finishing = true;
    if (m_writer.joinable())
        m_writer.join();
    m_spool.reset();
    m_recording.reset();
}

void IqRecorder::setMarkers(std::vector<SigmfAnnotation> markers)
{
    const std::lock_guard lock(m_markersMutex);
    m_markers = std::move(markers);
}

RecordingFigures IqRecorder::figures() const
{
    RecordingFigures figures;
    figures.recording = !m_writerDone.load() && !m_finishing.load();
    figures.bytesWritten = m_bytesWritten.load();
    figures.receiverLostSamples = m_receiverLost.load();
    figures.worstWriteNs = m_worstWriteNs.load();
    figures.writerCpuNs = m_writerCpuNs.load();
    {
        const std::lock_guard lock(m_controlMutex);
        if (m_spool) {
            figures.droppedSamples = m_spool->droppedSamples();
            figures.highestFillBytes = m_spool->highestFillBytes();
            figures.bufferBytes = m_spool->capacity();
        }
    }
    const std::lock_guard lock(m_messageMutex);
    figures.message = m_message;
    figures.dataPath = m_dataPath;
    return figures;
}

void IqRecorder::runStarted(const IqTapRun& run)
{
    const std::lock_guard lock(m_controlMutex);
    m_run = run;
    if (!m_armed.load())
        return;
    // The RX thread is not running: this thread stands in as the spool's producer.
    if (run.sampleRateHz != m_recordingRateHz) {
        endWithMessage(QStringLiteral("Recording stopped: the sample rate changed"));
    } else if (!m_spool->pushRetune(run.centerHz, utcNow().time_since_epoch().count())) {
        endWithMessage(QStringLiteral("Recording stopped: the disk fell behind"));
    }
}

void IqRecorder::endWithMessage(const QString& message)
{
    disarm();
    m_finishing = true;
    const std::lock_guard lock(m_messageMutex);
    m_message = message;
}

void IqRecorder::runStopped()
{
    const std::lock_guard lock(m_controlMutex);
    m_run.reset();
}

void IqRecorder::delivered(const uint8_t* iq, std::size_t bytes)
{
    m_inside.fetch_add(1);
    if (m_armed.load())
        m_spool->push(iq, bytes);
    m_inside.fetch_sub(1);
}

void IqRecorder::lost(uint64_t samples)
{
    m_inside.fetch_add(1);
    if (m_armed.load()) {
        m_spool->noteLost(samples);
        m_receiverLost.fetch_add(samples, std::memory_order_relaxed);
    }
    m_inside.fetch_sub(1);
}

void IqRecorder::runWriter()
{
    const int64_t cpuStart = threadCpuNowNs();
    Recording& recording = *m_recording;
    IqSpool& spool = *m_spool;
    while (!recording.failed) {
        const bool finishing = m_finishing.load();
        if (const SpoolMark* mark = spool.markDue()) {
            openSegment(*mark);
            spool.popMark();
            continue;
        }
        if (!writeSome(finishing))
            break;
        if (finishing && spool.empty())
            break;
        if (spool.fill() < m_options.chunkBytes && !spool.markDue() && !finishing)
            std::this_thread::sleep_for(kWriterRest);
    }
    if (!recording.failed && !recording.file->sync())
        failWriting(QStringLiteral("cannot write %1: %2")
                        .arg(recording.dataName, QString::fromStdString(recording.file->error())));
    // A write cut short may have left part of a sample; the file keeps whole ones.
    uint64_t bytes = m_bytesWritten.load();
    if (bytes % kIqSampleBytes != 0) {
        bytes -= bytes % kIqSampleBytes;
        recording.file->truncate(bytes);
        m_bytesWritten = bytes;
    }
    if (const QString error = writeMeta(bytes / kIqSampleBytes); !error.isEmpty() && !recording.failed)
        failWriting(error);
    m_writerCpuNs = threadCpuNowNs() - cpuStart;
    m_writerDone = true;
}

bool IqRecorder::writeSome(bool finishing)
{
    IqSpool& spool = *m_spool;
    const std::span<const uint8_t> span = spool.readable();
    if (span.empty())
        return true;
    // Large writes: a whole chunk, or what is there when it is needed now (before a segment,
    // at the end, or at the buffer's wrap with a chunk or more behind it).
    if (!finishing && !spool.marksPending() && spool.fill() < m_options.chunkBytes)
        return true;
    const std::size_t length = std::min(span.size(), m_options.chunkBytes);
    const int64_t begin = monotonicNowNs();
    const std::size_t written = m_recording->file->write(span.data(), length);
    const int64_t took = monotonicNowNs() - begin;
    if (took > m_worstWriteNs.load(std::memory_order_relaxed))
        m_worstWriteNs.store(took, std::memory_order_relaxed);
    m_bytesWritten.fetch_add(written, std::memory_order_relaxed);
    if (written < length) {
        failWriting(QStringLiteral("cannot write %1: %2")
                        .arg(m_recording->dataName, QString::fromStdString(m_recording->file->error())));
        return false;
    }
    spool.release(length);
    return true;
}

void IqRecorder::openSegment(const SpoolMark& mark)
{
    Recording& recording = *m_recording;
    std::vector<SigmfCapture>& captures = recording.meta.captures;
    const SigmfCapture& last = captures.back();
    recording.lost += mark.lostBefore;
    SigmfCapture capture;
    capture.sampleStart = mark.fileSample;
    capture.globalIndex = mark.fileSample + recording.lost;
    if (mark.retuned) {
        capture.frequency = static_cast<double>(mark.centerHz);
        capture.datetime = SigmfTime{std::chrono::microseconds{mark.utcMicros}};
    } else {
        // The same tuning after a loss: its first sample's time follows from the samples since
        // the last segment began.
        capture.frequency = last.frequency;
        const double seconds = static_cast<double>(*capture.globalIndex - *last.globalIndex) /
                               *recording.meta.global.sampleRate;
        capture.datetime = *last.datetime + std::chrono::microseconds{static_cast<int64_t>(seconds * 1e6)};
    }
    captures.push_back(capture);
    if (const QString error = writeMeta(mark.fileSample); !error.isEmpty())
        failWriting(error);
}

QString IqRecorder::writeMeta(uint64_t samplesInFile)
{
    SigmfMeta meta = m_recording->meta;
    {
        const std::lock_guard lock(m_markersMutex);
        meta.annotations = m_markers;
    }
    for (SigmfAnnotation& annotation : meta.annotations) {
        annotation.sampleStart = 0;
        annotation.sampleCount = samplesInFile;
    }
    return writeSigmfMetaAtomically(m_recording->metaPath, meta);
}

void IqRecorder::failWriting(const QString& why)
{
    m_recording->failed = true;
    m_armed = false;
    const std::lock_guard lock(m_messageMutex);
    m_message = QStringLiteral("Recording stopped: %1").arg(why);
}
