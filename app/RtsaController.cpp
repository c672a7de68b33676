#include "app/RtsaController.h"

#include "acquisition/RZ640Device.h"
#include "receivers/ReceiverSet.h"
#include "receivers/SoapyDevice.h"
#include "playback/PlaybackSwitch.h"
#include "app/SessionOutput.h"
#include "audio/AsioBackend.h"
#include "display/SpectrumItem.h"

RtsaController::RtsaController(QObject* parent)
    : RtsaController(
          [] { return std::make_unique<ReceiverSet>(std::make_unique<RZ640Device>(), std::make_unique<SoapyDevice>()); },
          parent)
{
}

RtsaController::RtsaController(const DeviceFactory& makeDevice, QObject* parent)
    : RtsaController(
          makeDevice, [](AsioLogSink log) { return std::make_unique<AsioBackend>(AsioDriverList::defaultFolders(), log); },
          parent)
{
}

RtsaController::RtsaController(const DeviceFactory& makeDevice, const AudioBackendFactory& makeAudioBackend,
                               QObject* parent)
    : QObject(parent),
      m_sessionOutput(std::make_unique<SessionOutput>(*this)),
      m_session(std::make_unique<AcquisitionSession>(*m_sessionOutput, m_log.demodDiagnostics())),
      m_spectrum(m_session->spectrum()),
      m_demod(m_session->demod())
{
    // No SDK is loaded yet: that waits for the first connect. Nor is an audio driver: the
    // backend finds the installed ones when first asked.
    m_session->setIqTap(&m_recordingControl.tap());
    // Recordings play beside whatever receivers the factory makes; played at the fastest
    // speed, they wait for room in the analysis instead of being dropped.
    m_playbackDevice->setRoomProbe([session = m_session.get()](std::size_t bytes) { return session->hasRoomFor(bytes); });
    if (std::unique_ptr<IDevice> live = makeDevice())
        m_device = std::make_unique<PlaybackSwitch>(std::move(live), *m_playbackDevice);
    PlaybackControl::Hooks hooks;
    hooks.startPlayback = [this] {
        disconnectDevice();
        setDeviceSelection(QString::fromUtf8(PlaybackDevice::kId));
        startRx(true);
    };
    hooks.retune = [this](double hz) { retuneCenterTo(hz); };
    hooks.log = [this](const QString& line, bool error) {
        if (!error) {
            m_log.info(line);
            return;
        }
        m_log.error(line);
        noteError(line);
    };
    m_playback = std::make_unique<PlaybackControl>(*m_playbackDevice, std::move(hooks), this);
    m_demod.setStatusCallback(statusCallback());
    m_audio.backend = makeAudioBackend([this, console = m_log.audioSink()](AsioLogLevel level, const std::string& text) {
        if (level == AsioLogLevel::Warning)
            m_audio.noteBackendWarning(text);
        console(level, text);
    });
    // The search result is handed to the GUI thread, which alone reads the list.
    m_enumerationWorker = std::make_unique<EnumerationWorker>([this](const EnumerationRequest&) {
        std::vector<DeviceListing> listings = m_device->enumerate();
        QMetaObject::invokeMethod(
            this,
            [this, listings = std::move(listings)]() mutable {
                m_deviceListings = std::move(listings);
                emit deviceListChanged();
            },
            Qt::QueuedConnection);
    });
    m_deviceWorker = std::make_unique<DeviceWorker>([this](const ApplyRequest& request) { retune(request); });
    connect(&m_markerModel, &MarkerModel::requestCenterTo, this, &RtsaController::retuneCenterTo);
    // Every spectrum setting goes to the session as one record when any of them changes.
    for (const auto changed :
         {&RtsaController::fftSizeChanged, &RtsaController::windowTypeChanged, &RtsaController::vbwHzChanged,
          &RtsaController::maxFpsChanged, &RtsaController::detectorModeChanged, &RtsaController::detectorWindowChanged,
          &RtsaController::spectrumOverlapChanged, &RtsaController::densityEnabledChanged,
          &RtsaController::densitySourceChanged, &RtsaController::densityLevelsChanged,
          &RtsaController::densityWidthBinsChanged, &RtsaController::densityFpsChanged,
          &RtsaController::densityTauChanged, &RtsaController::densityHitGainChanged,
          &RtsaController::densityGammaChanged, &RtsaController::densityMaxChanged,
          &RtsaController::densityMinDbChanged, &RtsaController::densityMaxDbChanged,
          &RtsaController::peakLineWindowSecChanged, &RtsaController::waterfallEnabledChanged,
          &RtsaController::waterfallLinesChanged, &RtsaController::waterfallFpsChanged,
          &RtsaController::waterfallPaletteIdChanged})
        connect(this, changed, this, &RtsaController::publishSpectrumSettings);
    publishSpectrumSettings();
    // The rate's changes come from apply; a run's start and end decide whether it is known.
    for (const auto changed : {&RtsaController::fftSizeChanged, &RtsaController::windowTypeChanged,
                               &RtsaController::spectrumOverlapChanged, &RtsaController::runningChanged})
        connect(this, changed, this, &RtsaController::updateIntercept);
    connect(this, &RtsaController::runningChanged, this, [this] {
        if (!running())
            noteSpectraSkipped(false);
    });
    updateIntercept();
}

RtsaController::~RtsaController()
{
    // Before anything that waits for the device lock a retune in progress holds: once that
    // pass ends, the worker must find no request left to apply.
    m_deviceWorker->requestStop();
    stopRx();
    m_deviceWorker.reset();
    m_enumerationWorker.reset();
    // Also stops a run the worker restarted just before it ended.
    disconnectDevice();
    m_demod.stop();
    m_audio.backend.reset();
}

QObject* RtsaController::spectrumItem() const
{
    return guardedSpectrumItem().data();
}

QPointer<SpectrumItem> RtsaController::guardedSpectrumItem() const
{
    std::lock_guard lock(m_spectrumItemMutex);
    return m_spectrumItem;
}

void RtsaController::setSpectrumItem(QObject* item)
{
    {
        std::lock_guard lock(m_spectrumItemMutex);
        if (item == m_spectrumItem.data())
            return;
        m_spectrumItem = qobject_cast<SpectrumItem*>(item);
    }
    if (const QPointer<SpectrumItem> live = guardedSpectrumItem())
        live->setDensityEnabled(densityEnabled());
    emit spectrumItemChanged();
}

void RtsaController::postApplyRequest(const ApplyRequest& request)
{
    m_deviceWorker->post(request);
}

StatusCallback RtsaController::statusCallback()
{
    return [this](const std::string& line) {
        const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
        postFigures([this, text] {
            m_demodStatus = text;
            emit demodStatusChanged();
            m_log.status(text);
        });
    };
}

QString RtsaController::receiverKey() const
{
    // A level offset holds for one receiver at one setting of its front end.
    const FrontEndInfo& frontEnd = m_receiver.frontEnd;
    if (frontEnd.backend != FrontEndInfo{}.backend) {
        QStringList parts{m_receiver.name};
        if (frontEnd.automaticGain)
            parts << QStringLiteral("AGC");
        else
            for (const GainElement& gain : frontEnd.gains)
                parts << QStringLiteral("%1 %2").arg(QString::fromStdString(gain.name)).arg(gain.valueDb);
        if (frontEnd.antennas.size() > 1)
            parts << QString::fromStdString(frontEnd.antenna);
        return parts.join(QLatin1Char(' '));
    }
    return QStringLiteral("%1 port %2 att %3 preamp %4 ifgain %5")
        .arg(m_receiver.name)
        .arg(m_receiver.port.load())
        .arg(m_receiver.att.load())
        .arg(m_receiver.preamp.load())
        .arg(m_receiver.ifgain.load());
}
