#include "tests/soak/SoakActions.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace {

const std::vector<double> kRatesMHz{2.0, 5.0, 10.0, 20.0, 30.0};
const std::vector<int> kFftSizes{512, 1024, 2048, 4096, 8192};
const std::vector<int> kBufferSizes{64, 128, 256, 512, 1024, 2048, 4096};
constexpr std::size_t kMaxMarkers = 8;
const QString kWavWriter = u"WAV File Writer"_s;

} // namespace

SoakActions::SoakActions(QObject* controller, SoakWatch& watch, uint64_t seed, Say say, Say fail)
    : m_controller(controller), m_watch(watch), m_random(seed), m_say(std::move(say)), m_fail(std::move(fail))
{
}

void SoakActions::set(const char* property, const QVariant& value)
{
    if (!m_controller->setProperty(property, value))
        m_fail(u"the controller has no property "_s + QString::fromLatin1(property));
}

void SoakActions::toggle(const char* property)
{
    const bool on = !m_controller->property(property).toBool();
    m_say(u"%1 %2"_s.arg(QString::fromLatin1(property), on ? u"on"_s : u"off"_s));
    set(property, on);
}

bool SoakActions::configure()
{
    bool connected = false;
    QMetaObject::invokeMethod(m_controller, "connectDevice", Q_RETURN_ARG(bool, connected));
    if (!connected)
        return false;
    QMetaObject::invokeMethod(m_controller, "audioDevices", Q_RETURN_ARG(QStringList, m_audioDevices));
    set("audioDeviceName", kWavWriter);
    set("audioEnabled", true);
    set("newDemodFreqHz", m_centerMHz * 1e6);
    planWarmUp();
    return start();
}

bool SoakActions::start()
{
    bool started = false;
    QMetaObject::invokeMethod(m_controller, "startRx", Q_RETURN_ARG(bool, started), Q_ARG(bool, true));
    m_wantRunning = started;
    expectDemodulation();
    return started;
}

void SoakActions::stop(bool wanted)
{
    QMetaObject::invokeMethod(m_controller, "stopRx");
    m_wantRunning = wanted;
    m_watch.expect(SoakWatch::Demod, false);
}

// The demodulation thread lives for the whole run: it reports whenever it is on and fed.
void SoakActions::expectDemodulation()
{
    m_watch.expect(SoakWatch::Demod, m_wantRunning && m_demodOn);
}

void SoakActions::retune(double centerMHz, double rateMHz)
{
    m_centerMHz = centerMHz;
    m_rateMHz = rateMHz;
    QMetaObject::invokeMethod(m_controller, "applyParams", Q_ARG(double, centerMHz), Q_ARG(double, rateMHz),
                              Q_ARG(int, 0), Q_ARG(int, 0), Q_ARG(int, 20), Q_ARG(int, 30));
}

double SoakActions::frequencyInView()
{
    return (m_centerMHz + uniform(-0.45, 0.45) * m_rateMHz) * 1e6;
}

// The first minute goes everywhere the random sequence can go, with the display and the
// demodulator fully on, so that what each setting needs is in use before the baseline is taken.
void SoakActions::planWarmUp()
{
    m_warmUp.push_back([this] {
        m_say(u"density and waterfall on"_s);
        set("densityEnabled", true);
        set("waterfallEnabled", true);
    });
    m_warmUp.push_back([this] { switchDemodulation(); });
    m_warmUp.push_back([this] { toggle("newDemodFmStereoEnabled"); });
    m_warmUp.push_back([this] {
        while (m_markers.size() < kMaxMarkers)
            addMarker();
    });
    for (const int size : kFftSizes)
        m_warmUp.push_back([this, size] { setFftSize(size); });
    for (const double rate : kRatesMHz)
        m_warmUp.push_back([this, rate] { setRate(rate); });
    for (const int frames : kBufferSizes)
        m_warmUp.push_back([this, frames] { setBufferSize(frames); });
    for (const QString& device : m_audioDevices)
        m_warmUp.push_back([this, device] { setAudioDevice(device); });
    m_warmUp.push_back([this] { setAudioDevice(kWavWriter); });
    m_warmUp.push_back([this] {
        while (!m_markers.empty())
            removeMarker(*m_markers.begin());
    });
}

bool SoakActions::warmUpStep()
{
    if (m_warmUpDone == m_warmUp.size())
        return false;
    m_warmUp[m_warmUpDone++]();
    return true;
}

int SoakActions::randomWaitMs()
{
    return std::uniform_int_distribution<int>(200, 2500)(m_random);
}

void SoakActions::randomAction()
{
    // Each action with how often it comes.
    const std::vector<std::pair<int, std::function<void()>>> actions{
        {2, [this] { startOrStop(); }},
        {3, [this] { retuneSomewhere(); }},
        {2, [this] { setRate(pick(kRatesMHz)); }},
        {2, [this] { changeResolution(); }},
        {2, [this] { toggle("densityEnabled"); }},
        {2, [this] { toggle("waterfallEnabled"); }},
        {3, [this] { switchDemodulation(); }},
        {2, [this] { toggle("newDemodFmStereoEnabled"); }},
        {2, [this] { setBufferSize(pick(kBufferSizes)); }},
        {1, [this] { changeAudioDevice(); }},
        {5, [this] { changeMarkers(); }},
    };
    std::vector<int> weights;
    for (const auto& action : actions)
        weights.push_back(action.first);
    actions[std::discrete_distribution<std::size_t>(weights.begin(), weights.end())(m_random)].second();
}

void SoakActions::startOrStop()
{
    if (m_wantRunning) {
        m_say(u"stop"_s);
        stop(false);
    } else {
        m_say(u"start"_s);
        if (!start())
            m_fail(u"the analyser did not start again"_s);
    }
}

void SoakActions::retuneSomewhere()
{
    // The FM broadcast band or the start-up view, where the simulated scene has stations.
    const double centerMHz = pick<double>({uniform(88.0, 108.0), uniform(990.0, 1010.0)});
    m_say(u"retune to %1 MHz"_s.arg(centerMHz, 0, 'f', 3));
    retune(centerMHz, m_rateMHz);
}

void SoakActions::setRate(double rateMHz)
{
    m_say(u"rate %1 MS/s"_s.arg(rateMHz));
    retune(m_centerMHz, rateMHz);
}

void SoakActions::changeResolution()
{
    if (uniform(0.0, 1.0) < 0.5) {
        const double rbwHz = pick<double>({1e3, 3e3, 10e3, 30e3, 100e3});
        m_say(u"RBW target %1 Hz"_s.arg(rbwHz));
        set("rbwTargetHz", rbwHz);
    } else {
        setFftSize(pick(kFftSizes));
    }
}

void SoakActions::setFftSize(int size)
{
    m_say(u"FFT size %1"_s.arg(size));
    set("rbwTargetHz", 0.0);
    set("fftSize", size);
}

void SoakActions::switchDemodulation()
{
    m_demodOn = !m_demodOn;
    if (m_demodOn) {
        const double hz = frequencyInView();
        m_say(u"demodulation on at %1 MHz"_s.arg(hz / 1e6, 0, 'f', 3));
        set("newDemodFreqHz", hz);
    } else {
        m_say(u"demodulation off"_s);
    }
    set("newDemodEnabled", m_demodOn);
    expectDemodulation();
}

void SoakActions::setBufferSize(int frames)
{
    m_say(u"audio buffer %1"_s.arg(frames));
    set("audioBufferFrames", frames);
}

// On a machine without sound the PortAudio driver fails to open, which is a change too.
void SoakActions::changeAudioDevice()
{
    if (!m_audioDevices.isEmpty())
        setAudioDevice(pick(std::vector<QString>(m_audioDevices.begin(), m_audioDevices.end())));
}

void SoakActions::setAudioDevice(const QString& device)
{
    m_say(u"audio device %1"_s.arg(device));
    set("audioDeviceName", device);
}

void SoakActions::changeMarkers()
{
    const double roll = uniform(0.0, 1.0);
    if (m_markers.empty() || (roll < 0.4 && m_markers.size() < kMaxMarkers))
        return addMarker();
    const int id = pick(std::vector<int>(m_markers.begin(), m_markers.end()));
    if (roll < 0.8) {
        const double hz = frequencyInView();
        m_say(u"marker %1 moved to %2 MHz"_s.arg(id).arg(hz / 1e6, 0, 'f', 3));
        QMetaObject::invokeMethod(m_controller, "setMarkerFreq", Q_ARG(int, id), Q_ARG(double, hz));
    } else {
        removeMarker(id);
    }
}

void SoakActions::addMarker()
{
    int id = 1;
    while (m_markers.count(id) != 0)
        ++id;
    const double hz = frequencyInView();
    m_say(u"marker %1 added at %2 MHz"_s.arg(id).arg(hz / 1e6, 0, 'f', 3));
    QMetaObject::invokeMethod(m_controller, "addMarker", Q_ARG(int, id), Q_ARG(double, hz),
                              Q_ARG(QString, u"#4FC3F7"_s));
    m_markers.insert(id);
}

void SoakActions::removeMarker(int id)
{
    m_say(u"marker %1 removed"_s.arg(id));
    QMetaObject::invokeMethod(m_controller, "removeMarker", Q_ARG(int, id));
    m_markers.erase(id);
}
