#include "SoapySimDevice.h"

#include "NoiseTable.h"
#include "Scene.h"

#include <SoapySDR/Constants.h>
#include <SoapySDR/Errors.h>
#include <SoapySDR/Formats.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// A host that falls this far behind loses the samples, and the stream says so with an overflow.
constexpr auto kMaxLag = std::chrono::milliseconds(250);
// How long a read of an unplugged unit hangs before it fails.
constexpr auto kVanishedWait = std::chrono::milliseconds(100);

// The antenna the scene arrives on, and a weaker second one (the simulated SDK's inputs 1 and 0).
const std::vector<std::string> kAntennas{"RX1", "RX2"};
// Two amplifiers: the LNA plays the simulated SDK's preamp, the VGA its IF gain. Automatic gain
// holds both at the scene's reference setting.
struct GainElement {
    const char* name;
    double maxDb;
    uint8_t referenceDb;
};
constexpr GainElement kGains[] = {{"LNA", 40.0, 20}, {"VGA", 30.0, 30}};

uint8_t& gainField(FrontEndSettings& frontEnd, const std::string& name)
{
    return name == kGains[0].name ? frontEnd.preampDb : frontEnd.ifGainDb;
}

void checkGainName(const std::string& name)
{
    if (name != kGains[0].name && name != kGains[1].name)
        throw std::invalid_argument("rtsasim: no gain element " + name);
}

} // namespace

SoapySimDevice::SoapySimDevice(const SoapySimConfig& config, const SoapySimConfig::Unit& unit,
                               std::optional<Recording> recording)
    : m_config(config), m_unit(unit), m_recording(std::move(recording)), m_scratch(2 * config.mtu)
{
    if (!m_recording)
        m_renderer = std::make_unique<SceneRenderer>(
            Scene::instance(config.testTones ? Scene::Programme::TestTones : Scene::Programme::Music), NoiseTable::instance(),
            config.seed * 0x9E3779B97F4A7C15ull + 7, SceneRenderer::kLoopBytes);
}

SoapySDR::Kwargs SoapySimDevice::getHardwareInfo() const
{
    return {{"serial", m_unit.serial}, {"format", m_unit.format}};
}

size_t SoapySimDevice::getNumChannels(const int direction) const
{
    return direction == SOAPY_SDR_RX ? 1 : 0;
}

std::vector<std::string> SoapySimDevice::getStreamFormats(const int, const size_t) const
{
    return {m_unit.format};
}

std::string SoapySimDevice::getNativeStreamFormat(const int, const size_t, double& fullScale) const
{
    fullScale = m_unit.format == SOAPY_SDR_CS16 ? 32768.0 : m_unit.format == SOAPY_SDR_CS8 ? 128.0 : 1.0;
    return m_unit.format;
}

SoapySDR::Stream* SoapySimDevice::setupStream(const int direction, const std::string& format,
                                              const std::vector<size_t>& channels, const SoapySDR::Kwargs&)
{
    if (direction != SOAPY_SDR_RX)
        throw std::runtime_error("rtsasim: receive only");
    if (format != m_unit.format)
        throw std::runtime_error("rtsasim: unit " + m_unit.serial + " streams " + m_unit.format + " only");
    if (channels.size() > 1 || (channels.size() == 1 && channels.front() != 0))
        throw std::runtime_error("rtsasim: one channel only");
    std::lock_guard lock(m_mutex);
    if (m_streamOpen)
        throw std::runtime_error("rtsasim: stream already open");
    m_streamOpen = true;
    return reinterpret_cast<SoapySDR::Stream*>(this);
}

void SoapySimDevice::closeStream(SoapySDR::Stream*)
{
    {
        std::lock_guard lock(m_mutex);
        m_streamOpen = false;
        m_streaming = false;
    }
    m_wake.notify_all();
}

size_t SoapySimDevice::getStreamMTU(SoapySDR::Stream*) const
{
    return m_config.mtu;
}

int SoapySimDevice::activateStream(SoapySDR::Stream*, const int, const long long, const size_t)
{
    std::lock_guard lock(m_mutex);
    m_streaming = true;
    m_streamStart = Clock::now();
    m_position = 0;
    return 0;
}

int SoapySimDevice::deactivateStream(SoapySDR::Stream*, const int, const long long)
{
    {
        std::lock_guard lock(m_mutex);
        m_streaming = false;
    }
    m_wake.notify_all();
    return 0;
}

SoapySimDevice::Clock::duration SoapySimDevice::duration(uint64_t samples) const
{
    const double seconds = static_cast<double>(samples) / m_tuning.sampleRateHz;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

long long SoapySimDevice::streamTimeNs() const
{
    return static_cast<long long>(std::llround(static_cast<double>(m_position) * 1e9 / m_tuning.sampleRateHz));
}

void SoapySimDevice::retune()
{
    if (!m_retuned || !m_renderer)
        return;
    Tuning tuning = m_tuning;
    tuning.centerHz = static_cast<uint64_t>(std::llround(m_requestedCenterHz * (1.0 + m_ppm * 1e-6)));
    if (m_automaticGain) {
        tuning.frontEnd.preampDb = kGains[0].referenceDb;
        tuning.frontEnd.ifGainDb = kGains[1].referenceDb;
    }
    m_renderer->tune(tuning);
    m_retuned = false;
}

void SoapySimDevice::produce(void* out, std::size_t count)
{
    if (m_unit.format == SOAPY_SDR_CS16) {
        auto* iq = static_cast<uint8_t*>(out);
        m_recording ? m_recording->read(iq, count) : m_renderer->render(iq, count);
        return;
    }
    auto* iq = reinterpret_cast<uint8_t*>(m_scratch.data());
    m_recording ? m_recording->read(iq, count) : m_renderer->render(iq, count);
    const std::size_t values = 2 * count;
    if (m_unit.format == SOAPY_SDR_CF32) {
        auto* f = static_cast<float*>(out);
        for (std::size_t i = 0; i < values; ++i)
            f[i] = static_cast<float>(m_scratch[i]) * (1.0f / 32768.0f);
    } else {
        auto* b = static_cast<int8_t*>(out);
        for (std::size_t i = 0; i < values; ++i)
            b[i] = static_cast<int8_t>(m_scratch[i] >> 8);
    }
}

int SoapySimDevice::vanishedRead(std::unique_lock<std::mutex>& lock, long timeoutUs)
{
    const auto wait = std::min<Clock::duration>(std::chrono::microseconds(std::max(timeoutUs, 0L)), kVanishedWait);
    m_wake.wait_for(lock, wait, [this] { return !m_streaming; });
    return SOAPY_SDR_STREAM_ERROR;
}

int SoapySimDevice::readStream(SoapySDR::Stream*, void* const* buffs, const size_t numElems, int& flags,
                               long long& timeNs, const long timeoutUs)
{
    flags = 0;
    std::unique_lock lock(m_mutex);
    if (!m_streaming)
        return SOAPY_SDR_TIMEOUT;
    ++m_reads;
    if (m_config.vanishAfterReads != 0 && m_reads > m_config.vanishAfterReads)
        return vanishedRead(lock, timeoutUs);
    const std::size_t count = std::min(numElems, m_config.mtu);
    if (m_config.overflowEveryNthRead != 0 && m_reads % m_config.overflowEveryNthRead == 0) {
        // The samples of one transfer never reach the host.
        m_position += count;
        return SOAPY_SDR_OVERFLOW;
    }
    if (m_config.realTime) {
        const Clock::time_point now = Clock::now();
        if (now > m_streamStart + duration(m_position) + kMaxLag) {
            // The host fell behind: what it did not take in time is gone.
            const auto behind = now - (m_streamStart + duration(m_position));
            m_position += static_cast<uint64_t>(std::chrono::duration<double>(behind).count() * m_tuning.sampleRateHz);
            return SOAPY_SDR_OVERFLOW;
        }
    }

    retune();
    produce(buffs[0], count);
    if (m_config.realTime &&
        m_wake.wait_until(lock, m_streamStart + duration(m_position + count), [this] { return !m_streaming; }))
        return SOAPY_SDR_TIMEOUT;
    flags = SOAPY_SDR_HAS_TIME;
    timeNs = streamTimeNs();
    m_position += count;
    return static_cast<int>(count);
}

std::vector<std::string> SoapySimDevice::listAntennas(const int, const size_t) const
{
    return kAntennas;
}

void SoapySimDevice::setAntenna(const int, const size_t, const std::string& name)
{
    if (std::find(kAntennas.begin(), kAntennas.end(), name) == kAntennas.end())
        throw std::invalid_argument("rtsasim: no antenna " + name);
    std::lock_guard lock(m_mutex);
    m_tuning.frontEnd.port = name == kAntennas[0] ? 1 : 0;
    m_retuned = true;
}

std::string SoapySimDevice::getAntenna(const int, const size_t) const
{
    std::lock_guard lock(m_mutex);
    return m_tuning.frontEnd.port == 1 ? kAntennas[0] : kAntennas[1];
}

std::vector<std::string> SoapySimDevice::listGains(const int, const size_t) const
{
    return {kGains[0].name, kGains[1].name};
}

bool SoapySimDevice::hasGainMode(const int, const size_t) const
{
    return true;
}

void SoapySimDevice::setGainMode(const int, const size_t, const bool automatic)
{
    std::lock_guard lock(m_mutex);
    m_automaticGain = automatic;
    m_retuned = true;
}

bool SoapySimDevice::getGainMode(const int, const size_t) const
{
    std::lock_guard lock(m_mutex);
    return m_automaticGain;
}

void SoapySimDevice::setGain(const int, const size_t, const std::string& name, const double value)
{
    checkGainName(name);
    const SoapySDR::Range range = getGainRange(SOAPY_SDR_RX, 0, name);
    std::lock_guard lock(m_mutex);
    gainField(m_tuning.frontEnd, name) = static_cast<uint8_t>(std::lround(std::clamp(value, range.minimum(), range.maximum())));
    m_retuned = true;
}

double SoapySimDevice::getGain(const int, const size_t, const std::string& name) const
{
    checkGainName(name);
    std::lock_guard lock(m_mutex);
    FrontEndSettings frontEnd = m_tuning.frontEnd;
    return gainField(frontEnd, name);
}

SoapySDR::Range SoapySimDevice::getGainRange(const int, const size_t, const std::string& name) const
{
    checkGainName(name);
    return SoapySDR::Range(0.0, name == kGains[0].name ? kGains[0].maxDb : kGains[1].maxDb, 1.0);
}

bool SoapySimDevice::hasFrequencyCorrection(const int, const size_t) const
{
    return true;
}

void SoapySimDevice::setFrequencyCorrection(const int, const size_t, const double value)
{
    std::lock_guard lock(m_mutex);
    m_ppm = value;
    m_retuned = true;
}

double SoapySimDevice::getFrequencyCorrection(const int, const size_t) const
{
    std::lock_guard lock(m_mutex);
    return m_ppm;
}

void SoapySimDevice::setFrequency(const int, const size_t, const std::string&, const double frequency,
                                  const SoapySDR::Kwargs&)
{
    std::lock_guard lock(m_mutex);
    m_requestedCenterHz = frequency;
    m_retuned = true;
}

double SoapySimDevice::getFrequency(const int, const size_t, const std::string&) const
{
    std::lock_guard lock(m_mutex);
    return m_requestedCenterHz;
}

std::vector<std::string> SoapySimDevice::listFrequencies(const int, const size_t) const
{
    return {"RF"};
}

SoapySDR::RangeList SoapySimDevice::getFrequencyRange(const int, const size_t, const std::string&) const
{
    return {SoapySDR::Range(1e6, 6e9)};
}

void SoapySimDevice::setSampleRate(const int, const size_t, const double rate)
{
    if (!(rate >= 1e6 && rate <= m_config.maxRateHz))
        throw std::invalid_argument("rtsasim: rate out of range");
    std::lock_guard lock(m_mutex);
    m_tuning.sampleRateHz = static_cast<uint32_t>(rate);
    m_retuned = true;
    // Pacing restarts on the new clock.
    m_streamStart = Clock::now();
    m_position = 0;
}

double SoapySimDevice::getSampleRate(const int, const size_t) const
{
    std::lock_guard lock(m_mutex);
    return m_tuning.sampleRateHz;
}

SoapySDR::RangeList SoapySimDevice::getSampleRateRange(const int, const size_t) const
{
    return {SoapySDR::Range(1e6, m_config.maxRateHz)};
}
