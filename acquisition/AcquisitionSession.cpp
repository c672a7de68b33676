#include "acquisition/AcquisitionSession.h"

#include "acquisition/IDevice.h"
#include "acquisition/IqSample.h"
#include "acquisition/IqTap.h"
#include "engine/SpectrumLoop.h"
#include "engine/SpectrumProcessor.h"
#include "platform/ThreadName.h"

#include <chrono>

namespace {

// Lets a reader of the demod ring that was detached a moment ago finish its read.
constexpr auto kDemodDetachGrace = std::chrono::milliseconds(5);

} // namespace

class AcquisitionSession::SpectrumRelay : public SpectrumSink {
public:
    explicit SpectrumRelay(AcquisitionSession& session) : m_session(session) {}

    bool displayAlive() override { return m_session.m_output.displayAlive(); }
    void tracePublished(const std::vector<float>& trace, const PeakReadout::Values& peak, double centerHz) override
    {
        m_session.m_output.tracePublished(trace, peak, centerHz);
    }
    void deliverFrame(SpectrumFrame&& frame) override { m_session.m_output.deliverFrame(std::move(frame)); }
    void statusReport(const SpectrumStatus& status) override
    {
        {
            const std::lock_guard lock(m_session.m_statusMutex);
            m_session.m_spectrumStatus = status;
        }
        m_session.m_output.statusReport(status);
    }

private:
    AcquisitionSession& m_session;
};

AcquisitionSession::AcquisitionSession(AcquisitionOutput& output, DemodDiagnostics& diagnostics)
    : m_output(output), m_relay(std::make_unique<SpectrumRelay>(*this)), m_demod(DemodParams{}, diagnostics)
{
}

AcquisitionSession::~AcquisitionSession()
{
    stop();
    m_demod.stop();
}

bool AcquisitionSession::start(const AcquisitionRunSetup& setup)
{
    if (m_running.load())
        return true;
    if (setup.device == nullptr)
        return false;
    // Planned before the receiver streams: the first plan of a size measures for a tenth of a
    // second to two seconds (the larger sizes), during which nothing would read the receiver.
    const int fftSize = m_spectrumSettings.latest().fftSize;
    m_spectrum.setFftSize(static_cast<std::size_t>(fftSize));
    if (!setup.device->startStreaming())
        return false;
    m_device = setup.device;
    // A receiver that reports no transfer size still gets whole blocks to read.
    const uint32_t reported = m_device->samplesPerTransfer();
    const uint64_t samplesPerTransfer = reported != 0 ? reported : kDefaultSamplesPerTransfer;
    const uint64_t fftFrameBytes = static_cast<uint64_t>(fftSize) * kIqSampleBytes;
    m_fftRing = std::make_unique<FftRing>(FftRing::capacityFor(samplesPerTransfer, fftFrameBytes, setup.sampleRateHz));
    m_demodRing = std::make_unique<DemodRing>(DemodRing::kDefaultCapacity);
    m_demod.setIqSource(m_demodRing.get(), setup.sampleRateHz, setup.centerHz);
    m_fftCatchUpBytes = SpectrumLoop::catchUpThresholdBytes(static_cast<std::size_t>(fftFrameBytes),
                                                            m_fftRing->capacity(), setup.sampleRateHz);
    m_fftRingLostBytes = 0;
    m_running = true;

    RxSources sources;
    sources.device = m_device;
    sources.fftRing = m_fftRing.get();
    sources.demodRing = m_demodRing.get();
    sources.readBlockBytes = static_cast<uint32_t>(samplesPerTransfer * kIqSampleBytes);
    sources.fftRingLostBytes = &m_fftRingLostBytes;
    sources.tap = m_tap;
    if (m_tap)
        m_tap->runStarted({setup.sampleRateHz, setup.centerHz, m_device->deviceName(), m_device->serialNumber()});
    m_rxThread = std::make_unique<RxThread>(m_running, sources, rxCallbacks());
    m_rxThread->start();
    m_spectrumThread = std::thread(&AcquisitionSession::runSpectrum, this, static_cast<std::size_t>(fftFrameBytes));
    return true;
}

RxCallbacks AcquisitionSession::rxCallbacks()
{
    RxCallbacks callbacks;
    callbacks.demodEnabled = [this] { return m_demod.enabledNow(); };
    callbacks.demodInput = [this](uint64_t pairs) { m_demod.addDriverInput(pairs); };
    callbacks.log = [this](const std::string& line) { m_output.rxLine(line); };
    callbacks.report = [this](const RxStatus& status) {
        {
            const std::lock_guard lock(m_statusMutex);
            m_rxStatus = status;
        }
        m_output.rxStatus(status);
    };
    callbacks.overloadTrigger = [this](const std::string& trigger) { m_output.overloadTriggered(trigger); };
    return callbacks;
}

void AcquisitionSession::runSpectrum(std::size_t blockBytes)
{
    nameCurrentThread("rtsa-spectrum");
    SpectrumProcessor processor(m_spectrum, m_spectrumSettings, *m_relay, m_fftRingLostBytes, blockBytes);
    SpectrumLoop(processor, m_fftRing.get(), m_running, m_fftCatchUpBytes).run();
}

void AcquisitionSession::stop()
{
    if (!m_running.exchange(false))
        return;
    m_device->stopStreaming();
    m_rxThread->join();
    if (m_tap)
        m_tap->runStopped();
    m_spectrumThread.join();
    m_rxThread.reset();
    m_fftRing.reset();
    m_demod.setIqSource(nullptr, 0, 0);
    std::this_thread::sleep_for(kDemodDetachGrace);
    m_demodRing.reset();
}

void AcquisitionSession::clearDemodRing()
{
    if (m_demodRing)
        m_demodRing->reset();
}

bool AcquisitionSession::hasRoomFor(std::size_t bytes) const
{
    // Above its catch-up mark the spectrum thread skips what it has not analysed yet.
    if (m_fftRing && (m_fftRing->space() < bytes || m_fftRing->available() + bytes > m_fftCatchUpBytes))
        return false;
    return !m_demodRing || !m_demod.enabledNow() || m_demodRing->capacity() - m_demodRing->available() > bytes;
}

SpectrumStatus AcquisitionSession::spectrumStatus() const
{
    const std::lock_guard lock(m_statusMutex);
    return m_spectrumStatus;
}

RxStatus AcquisitionSession::rxStatus() const
{
    const std::lock_guard lock(m_statusMutex);
    return m_rxStatus;
}
