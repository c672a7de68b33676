#pragma once

#include "acquisition/IqTap.h"
#include "recording/DataFile.h"
#include "recording/IqSpool.h"
#include "sigmf/SigmfMeta.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct RecordingRequest {
    QString folder;
    // Without extension: NAME.sigmf-data and NAME.sigmf-meta are written.
    QString name;
    QString description;
};

// A recording's figures so far, or the last recording's once it has ended.
struct RecordingFigures {
    // Taking samples: from a successful start until stopped or until it ends by itself.
    bool recording = false;
    uint64_t bytesWritten = 0;
    // Samples the buffer had no room for, and samples the receiver reported lost.
    uint64_t droppedSamples = 0;
    uint64_t receiverLostSamples = 0;
    uint64_t highestFillBytes = 0;
    uint64_t bufferBytes = 0;
    int64_t worstWriteNs = 0;
    // The writer thread's CPU time, once it has ended.
    int64_t writerCpuNs = 0;
    // Why the recording ended by itself ("" while it goes on or after a stop).
    QString message;
    QString dataPath;
};

// Records the receiver's IQ into a SigMF recording (ci16_le as received). A tap of every
// acquisition run: the RX thread hands it each block, which goes into a buffer of the recorder's
// own (IqSpool), and a writer thread appends the buffer to NAME.sigmf-data in large chunks. What
// the buffer has no room for, and what the receiver lost, is counted and stated in the meta by a
// new capture segment whose global index skips it; each run started while recording (a retune)
// opens a segment too, and a change of sample rate ends the recording, whose one rate the meta
// states. The meta is replaced whole at the start, at each segment and at the end. A write that
// fails ends the recording with a message, leaving the data written and a meta describing it.
class IqRecorder : public IqTap {
public:
    // Over two seconds at 30 MS/s (120 MB/s): a disk on a busy machine stalled single writes
    // for 0.7 s while writing 120 MB/s, and the buffer must also cover the time to catch up.
    static constexpr std::size_t kDefaultBufferBytes = std::size_t{256} << 20;
    static constexpr std::size_t kDefaultChunkBytes = std::size_t{8} << 20;
    static constexpr std::size_t kMarkCapacity = 4096;

    using FileCreator = std::function<std::unique_ptr<DataFile>(const std::string& path, std::string& error)>;
    struct Options {
        std::size_t bufferBytes = kDefaultBufferBytes;
        std::size_t chunkBytes = kDefaultChunkBytes;
        FileCreator createFile = createDataFile;
    };

    IqRecorder();
    explicit IqRecorder(Options options);
    // Stops a recording.
    ~IqRecorder() override;
    IqRecorder(const IqRecorder&) = delete;
    IqRecorder& operator=(const IqRecorder&) = delete;

    // Starts recording the current run from its next block; "" or why not (no run, a name in
    // use, a folder that cannot be written).
    QString start(const RecordingRequest& request);
    // Ends the recording: everything taken is written, synced and described.
    void stop();
    // The markers to state as annotations over the whole recording, from the next meta written.
    void setMarkers(std::vector<SigmfAnnotation> markers);
    RecordingFigures figures() const;

    void runStarted(const IqTapRun& run) override;
    void runStopped() override;
    void delivered(const uint8_t* iq, std::size_t bytes) override;
    void lost(uint64_t samples) override;

private:
    struct Recording;

    // Stops taking samples and waits until the RX thread is out of the spool.
    void disarm();
    void finishWriter();
    void runWriter();
    // False once a write failed.
    bool writeSome(bool finishing);
    void openSegment(const SpoolMark& mark);
    // The meta with the markers over samplesInFile; "" or why it could not be written.
    QString writeMeta(uint64_t samplesInFile);
    // Writer thread: a write failed; the RX thread's blocks are no longer taken.
    void failWriting(const QString& why);
    // Control side: the recording ends at the next block, with this message.
    void endWithMessage(const QString& message);

    const Options m_options;

    // Start, stop and the run's tuning, from the window's and the device threads.
    mutable std::mutex m_controlMutex;
    std::optional<IqTapRun> m_run;
    uint32_t m_recordingRateHz = 0;
    std::unique_ptr<Recording> m_recording;
    std::unique_ptr<IqSpool> m_spool;
    std::thread m_writer;

    // The RX thread's way in: it takes samples only while armed, and counts itself in and out so
    // that disarm can wait for it to leave.
    std::atomic<bool> m_armed{false};
    std::atomic<int> m_inside{0};
    std::atomic<bool> m_finishing{false};
    std::atomic<bool> m_writerDone{true};

    std::atomic<uint64_t> m_bytesWritten{0};
    std::atomic<uint64_t> m_receiverLost{0};
    std::atomic<int64_t> m_worstWriteNs{0};
    std::atomic<int64_t> m_writerCpuNs{0};

    mutable std::mutex m_markersMutex;
    std::vector<SigmfAnnotation> m_markers;
    mutable std::mutex m_messageMutex;
    QString m_message;
    QString m_dataPath;
};
