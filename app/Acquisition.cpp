// Acquisition start and stop: the rings and the threads that live for one run.
#include "app/RtsaController.h"

#include "acquisition/IqSample.h"
#include "display/SpectrumItem.h"

namespace {

// What a transfer holds when no receiver says otherwise.
constexpr uint64_t kDefaultSamplesPerTransfer = 4096;
constexpr std::size_t kDemodRingBytes = 8'388'608;

} // namespace

bool RtsaController::startRx(bool applyFirst)
{
    // Connecting the receiver, when it is not yet, comes first.
    if (running())
        return true;
    if (applyFirst) {
        apply({static_cast<double>(m_centerHz.load()) / 1e6, static_cast<double>(m_sampleRateHz.load()) / 1e6, m_port,
               m_att, m_preamp, m_ifgain});
    }
    // The receiver starts streaming here.

    m_rxRunning = true;
    const uint64_t samplesPerTransfer = kDefaultSamplesPerTransfer;
    m_readBlockBytes = samplesPerTransfer * kIqSampleBytes;
    m_fftFrameBytes = static_cast<uint64_t>(fftSize()) * kIqSampleBytes;
    m_fftRing = std::make_unique<FftRing>(FftRing::capacityFor(samplesPerTransfer, m_fftFrameBytes));
    m_demodRing = std::make_unique<DemodRing>(kDemodRingBytes);
    // The demodulation channel takes the demod ring as its IQ source here.
    m_spectrum.setFftSize(static_cast<std::size_t>(fftSize()));
    m_fftRingLostBytes = 0;
    // The RX thread starts here, before the spectrum thread.
    m_spectrumThread = std::thread(&RtsaController::runSpectrumThread, this);

    m_running = true;
    emit runningChanged();
    // Live data replaces the built-in demonstration spectrum.
    if (const QPointer<SpectrumItem> live = guardedSpectrumItem()) {
        QMetaObject::invokeMethod(
            live.data(), [live] { if (live) live->setDemo(false); }, Qt::QueuedConnection);
    }
    emit logMessage(QStringLiteral("RX started"));
    return true;
}

void RtsaController::stopRx()
{
    if (!running())
        return;
    m_rxRunning = false;
    m_running = false;
    emit runningChanged();
    // The receiver stops streaming, audio stops and the RX thread is joined here, in that order.
    m_spectrumThread.join();
    m_fftRing.reset();
    // The demodulation channel lets go of the demod ring here, before it is destroyed.
    m_demodRing.reset();
    emit logMessage(QStringLiteral("RX stopped"));
}
