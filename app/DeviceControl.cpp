// Device control: connecting the receiver, its selection and channel, and retuning.
#include "app/RtsaController.h"

#include "receivers/ReceiverSettingTable.h"

#include <QVariantMap>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <chrono>
#include <limits>
#include <stdexcept>

namespace {

constexpr std::chrono::milliseconds kFrontEndSwitchAudioPause{20};

// MHz as typed to whole Hz by truncation; nonsense (negative, NaN, too large) saturates
// instead of wrapping into an arbitrary frequency.
template <typename T>
T megaToWholeHz(double mega)
{
    const double hz = mega * 1e6;
    if (!(hz > 0.0))
        return 0;
    if (hz >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(hz);
}

// How the receiver is attached, guessed from its name: only a network receiver without a
// USB 3 hint counts as not on a USB 3 link.
bool onUsb3Link(const std::string& deviceName)
{
    std::string name = deviceName;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto containsAny = [&name](std::initializer_list<const char*> hints) {
        return std::any_of(hints.begin(), hints.end(),
                           [&name](const char* hint) { return name.find(hint) != std::string::npos; });
    };
    const bool usb3 = containsAny({"usb 3", "usb3", "ft600", "ft601"});
    const bool network = containsAny({"rz640_n", "net", "ethernet"});
    return usb3 || !network;
}

} // namespace

bool RtsaController::connectDevice()
{
    const std::lock_guard lock(m_deviceMutex);
    if (m_connected.load())
        return true;
    if (!m_device)
        return false;
    // A new attempt: the last failure is no longer news.
    noteError(QString());

    if (m_receiver.selection.isEmpty()) {
        const std::vector<std::string> ids = m_device->listDevices();
        if (!ids.empty() && QString::fromStdString(ids.front()) != m_receiver.selection) {
            m_receiver.selection = QString::fromStdString(ids.front());
            m_device->selectDevice(ids.front());
            m_device->setChannel(m_receiver.channel);
            emit deviceSelectionChanged();
        }
    }
    m_device->setChannel(m_receiver.channel);

    try {
        if (!m_device->open()) {
            m_log.error(QStringLiteral("Device open failed"));
            noteError(QStringLiteral("Device open failed"));
            return false;
        }
    } catch (const std::exception& e) {
        const QString line = QStringLiteral("Device open error: %1").arg(QString::fromUtf8(e.what()));
        m_log.error(line);
        noteError(line);
        return false;
    }

    const std::string name = m_device->deviceName();
    const std::string serial = m_device->serialNumber();
    m_receiver.name = QString::fromStdString(name);
    m_receiver.serial = serial.empty() ? QStringLiteral("unknown") : QString::fromStdString(serial);
    m_receiver.usb3Known = true;
    m_receiver.usb3Ok = onUsb3Link(name);
    m_receiver.frontEnd = m_device->frontEnd();
    emit deviceInfoChanged();

    m_connected = true;
    emit connectedChanged();
    m_log.info(QStringLiteral("Device connected"));
    return true;
}

void RtsaController::disconnectDevice()
{
    const std::lock_guard lock(m_deviceMutex);
    stopRx();
    if (m_connected.load()) {
        if (m_device)
            m_device->close();
        m_connected = false;
        emit connectedChanged();
        m_log.info(QStringLiteral("Device disconnected"));
    }
    m_receiver.name.clear();
    m_receiver.serial.clear();
    m_receiver.usb3Known = false;
    m_receiver.usb3Ok = false;
    if (m_device)
        m_receiver.frontEnd = m_device->frontEnd();
    emit deviceInfoChanged();
}

QVariantList RtsaController::deviceList()
{
    const std::lock_guard lock(m_deviceMutex);
    QVariantList list;
    if (!m_device)
        return list;
    const auto entry = [](const QString& label, const QString& args) {
        return QVariantMap{{QStringLiteral("label"), label}, {QStringLiteral("args"), args}};
    };
    list.append(entry(QStringLiteral("Auto"), QString()));
    if (m_deviceListings.empty()) {
        for (const std::string& id : m_device->listDevices())
            list.append(entry(QString::fromStdString(id), QString::fromStdString(id)));
    }
    for (const DeviceListing& listing : m_deviceListings)
        list.append(entry(QString::fromStdString(listing.label), QString::fromStdString(listing.args)));
    return list;
}

void RtsaController::refreshDeviceList()
{
    if (m_device)
        m_enumerationWorker->post({});
}

QVariantMap RtsaController::deviceFrontEnd() const
{
    const FrontEndInfo& info = m_receiver.frontEnd;
    QVariantList rates;
    for (const uint32_t rate : receiver_settings::supportedRates(info.rates))
        rates.append(rate / 1'000'000);
    QVariantList gains;
    for (const GainElement& gain : info.gains)
        gains.append(QVariantMap{{QStringLiteral("name"), QString::fromStdString(gain.name)},
                                 {QStringLiteral("min"), gain.minDb},
                                 {QStringLiteral("max"), gain.maxDb},
                                 {QStringLiteral("step"), gain.stepDb},
                                 {QStringLiteral("value"), gain.valueDb}});
    QStringList antennas;
    for (const std::string& antenna : info.antennas)
        antennas.append(QString::fromStdString(antenna));
    return {{QStringLiteral("ratesMsps"), rates},
            {QStringLiteral("gains"), gains},
            {QStringLiteral("automaticGainAvailable"), info.hasAutomaticGain},
            {QStringLiteral("automaticGain"), info.automaticGain},
            {QStringLiteral("antennas"), antennas},
            {QStringLiteral("antenna"), QString::fromStdString(info.antenna)},
            {QStringLiteral("frequencyCorrectionAvailable"), info.hasFrequencyCorrection},
            {QStringLiteral("frequencyCorrectionPpm"), info.frequencyCorrectionPpm}};
}

QVariantMap RtsaController::deviceFrontEndChoices() const
{
    FrontEndChoices choices;
    {
        const std::lock_guard lock(m_deviceMutex);
        if (m_device)
            choices = m_device->frontEndChoices();
    }
    QVariantMap gains;
    for (const auto& [name, db] : choices.gainsDb)
        gains.insert(QString::fromStdString(name), db);
    QVariantMap map{{QStringLiteral("gains"), gains}};
    if (choices.automaticGain)
        map.insert(QStringLiteral("automaticGain"), *choices.automaticGain);
    if (!choices.antenna.empty())
        map.insert(QStringLiteral("antenna"), QString::fromStdString(choices.antenna));
    if (choices.frequencyCorrectionPpm)
        map.insert(QStringLiteral("frequencyCorrectionPpm"), *choices.frequencyCorrectionPpm);
    return map;
}

void RtsaController::setDeviceFrontEndChoices(const QVariantMap& choices)
{
    const QVariantMap gains = choices.value(QStringLiteral("gains")).toMap();
    for (auto gain = gains.cbegin(); gain != gains.cend(); ++gain) {
        bool ok = false;
        const double db = gain.value().toDouble(&ok);
        if (ok)
            setDeviceGain(gain.key(), db);
    }
    if (const QVariant automatic = choices.value(QStringLiteral("automaticGain")); automatic.isValid())
        setDeviceAutomaticGain(automatic.toBool());
    if (const QString antenna = choices.value(QStringLiteral("antenna")).toString(); !antenna.isEmpty())
        setDeviceAntenna(antenna);
    bool ppmOk = false;
    if (const double ppm = choices.value(QStringLiteral("frequencyCorrectionPpm")).toDouble(&ppmOk); ppmOk)
        setDeviceFrequencyCorrection(ppm);
}

void RtsaController::refreshFrontEnd()
{
    m_receiver.frontEnd = m_device->frontEnd();
    emit deviceInfoChanged();
}

void RtsaController::setDeviceGain(const QString& element, double db)
{
    const std::lock_guard lock(m_deviceMutex);
    if (!m_device || std::isnan(db))
        return;
    m_device->setGain(element.toStdString(), db);
    refreshFrontEnd();
}

void RtsaController::setDeviceAutomaticGain(bool on)
{
    const std::lock_guard lock(m_deviceMutex);
    if (!m_device)
        return;
    m_device->setAutomaticGain(on);
    refreshFrontEnd();
}

void RtsaController::setDeviceAntenna(const QString& name)
{
    const std::lock_guard lock(m_deviceMutex);
    if (!m_device)
        return;
    m_device->setAntenna(name.toStdString());
    refreshFrontEnd();
}

void RtsaController::setDeviceFrequencyCorrection(double ppm)
{
    const std::lock_guard lock(m_deviceMutex);
    if (!m_device || std::isnan(ppm))
        return;
    m_device->setFrequencyCorrection(receiver_settings::frequencyCorrectionPpm.clamp(ppm));
    refreshFrontEnd();
}

void RtsaController::setDeviceSelection(const QString& selection)
{
    if (selection == m_receiver.selection)
        return;
    const std::lock_guard lock(m_deviceMutex);
    m_receiver.selection = selection;
    if (m_device) {
        m_device->selectDevice(selection.toStdString());
        m_device->setChannel(m_receiver.channel);
    }
    emit deviceSelectionChanged();
}

void RtsaController::setDeviceChannel(int channel)
{
    channel = std::clamp(channel, 0, 1);
    if (channel == m_receiver.channel)
        return;
    const std::lock_guard lock(m_deviceMutex);
    m_receiver.channel = channel;
    // Audio stops for the switch: the demodulator's input jumps to the other front end.
    const bool restart = running() && audioEnabled();
    if (restart)
        m_log.info(QStringLiteral("Audio: restarting for RX front-end switch..."));
    if (m_device)
        m_device->setChannel(channel);
    if (restart)
        restartAudio({}, kFrontEndSwitchAudioPause);
    emit deviceChannelChanged();
}

void RtsaController::applyParams(double freqMHz, double bwMHz, int port, int att, int preamp, int ifgain)
{
    postApplyRequest({freqMHz, bwMHz, port, att, preamp, ifgain});
}

void RtsaController::retuneCenterTo(double freqHz)
{
    if (!(freqHz > 0.0))
        return;
    ApplyRequest request = currentSettings();
    request.freqMHz = freqHz / 1e6;
    postApplyRequest(request);
}

ApplyRequest RtsaController::currentSettings() const
{
    return {static_cast<double>(m_receiver.centerHz.load()) / 1e6,
            static_cast<double>(m_receiver.sampleRateHz.load()) / 1e6,
            m_receiver.port.load(),
            m_receiver.att.load(),
            m_receiver.preamp.load(),
            m_receiver.ifgain.load()};
}

void RtsaController::retune(const ApplyRequest& request)
{
    restartRun([this, &request] { apply(request); });
}

void RtsaController::apply(const ApplyRequest& request)
{
    const uint64_t oldCenterHz = m_receiver.centerHz.load();
    const uint32_t oldRateHz = m_receiver.sampleRateHz.load();
    m_receiver.centerHz = megaToWholeHz<uint64_t>(request.freqMHz);
    m_receiver.sampleRateHz = megaToWholeHz<uint32_t>(request.bwMHz);
    m_receiver.port = static_cast<uint8_t>(request.port);
    m_receiver.att = static_cast<uint8_t>(request.att);
    m_receiver.preamp = static_cast<uint8_t>(request.preamp);
    m_receiver.ifgain = static_cast<uint8_t>(request.ifgain);
    if (m_connected.load() && m_device) {
        m_device->setPort(m_receiver.port.load());
        m_device->setCenterFrequency(m_receiver.centerHz.load());
        m_device->setSampleRate(m_receiver.sampleRateHz.load());
        m_device->setAttenuation(m_receiver.att.load());
        m_device->setPreamp(m_receiver.preamp.load());
        m_device->setIfGain(m_receiver.ifgain.load());
        // A negative answer is no rate at all; only a positive one replaces the request.
        const int32_t actual = m_device->actualSampleRate();
        if (actual > 0)
            m_receiver.sampleRateHz = static_cast<uint32_t>(actual);
        // A recording plays at its own centre, whatever was typed.
        if (const uint64_t actualCenter = m_device->actualCenterFrequency(); actualCenter > 0)
            m_receiver.centerHz = actualCenter;
        if (m_receiver.frontEnd.backend == "RZ640")
            m_log.info(QStringLiteral("Applied RZ640: f=%1 MHz bw=%2 MHz port=%3 att=%4 dB pre=%5 dB if=%6 dB")
                           .arg(QString::number(request.freqMHz, 'f', 3), QString::number(request.bwMHz, 'f', 3),
                                QString::number(m_receiver.port.load()), QString::number(m_receiver.att.load()),
                                QString::number(m_receiver.preamp.load()), QString::number(m_receiver.ifgain.load())));
        else
            m_log.info(QStringLiteral("Applied %1: f=%2 MHz bw=%3 MHz (%4 MS/s)")
                           .arg(QString::fromStdString(m_receiver.frontEnd.backend),
                                QString::number(m_receiver.centerHz.load() / 1e6, 'f', 3),
                                QString::number(request.bwMHz, 'f', 3),
                                QString::number(m_receiver.sampleRateHz.load() / 1e6, 'f', 3)));
    }
    const bool centerMoved = m_receiver.centerHz.load() != oldCenterHz;
    if (centerMoved || m_receiver.sampleRateHz.load() != oldRateHz) {
        m_demod.reset();
        m_demod.setSourceRate(m_receiver.sampleRateHz.load());
        m_demod.setSourceCenter(m_receiver.centerHz.load());
        m_log.debug(QStringLiteral("[RtsaController] Demodulator reset due to freq/bw change, new rate=%1Hz, center=%2Hz")
                        .arg(m_receiver.sampleRateHz.load())
                        .arg(m_receiver.centerHz.load()));
    }

    // The field shows what was typed, or the centre the device kept instead (a recording's).
    const bool deviceKeptItsOwn = m_receiver.centerHz.load() != megaToWholeHz<uint64_t>(request.freqMHz);
    if (centerMoved || deviceKeptItsOwn)
        emit centerFreqChanged(deviceKeptItsOwn ? static_cast<double>(m_receiver.centerHz.load()) / 1e6 : request.freqMHz);
    // The FFT size that meets the resolution target depends on the rate just applied, and so
    // does the intercept time; the target is only read in the GUI thread, so both are looked at
    // there. A faster rate may clamp the target itself, and the interface must show the target
    // actually kept.
    QMetaObject::invokeMethod(
        this, [this] {
            if (m_spectrumSettings.rbwTargetHz > 0.0 && applyRbwTarget(m_spectrumSettings.rbwTargetHz))
                emit rbwTargetHzChanged();
            updateIntercept();
        },
        Qt::QueuedConnection);
}
