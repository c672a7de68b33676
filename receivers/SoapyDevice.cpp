#include "receivers/SoapyDevice.h"

#include "receivers/SoapyListing.h"

#include <SoapySDR/Constants.h>
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

std::string valueOf(const SoapySDR::Kwargs& kwargs, const char* key)
{
    const auto it = kwargs.find(key);
    return it != kwargs.end() ? it->second : std::string();
}

} // namespace

void SoapyDevice::Unmake::operator()(SoapySDR::Device* device) const
{
    SoapySDR::Device::unmake(device);
}

SoapyDevice::SoapyDevice() = default;

SoapyDevice::~SoapyDevice()
{
    close();
}

std::vector<DeviceListing> SoapyDevice::findAll()
{
    std::vector<DeviceListing> listings;
    for (const SoapySDR::Kwargs& found : SoapySDR::Device::enumerate(SoapySDR::Kwargs())) {
        // The label is for people; the rest opens the receiver again.
        SoapySDR::Kwargs args = found;
        args.erase("label");
        listings.push_back({soapyLabel(found), SoapySDR::KwargsToString(args)});
    }
    return listings;
}

std::vector<DeviceListing> SoapyDevice::enumerate()
{
    std::vector<DeviceListing> listings = findAll();
    std::lock_guard lock(m_listingMutex);
    m_listings = listings;
    return listings;
}

std::vector<std::string> SoapyDevice::listDevices()
{
    std::lock_guard lock(m_listingMutex);
    std::vector<std::string> ids;
    for (const DeviceListing& listing : m_listings)
        ids.push_back(listing.args);
    return ids;
}

template <typename Call>
bool SoapyDevice::guarded(Call&& call)
{
    if (!m_device)
        return false;
    try {
        call(*m_device);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool SoapyDevice::open()
{
    if (m_device)
        return true;
    const SoapySDR::Kwargs args = SoapySDR::KwargsFromString(m_args);
    try {
        m_device.reset(SoapySDR::Device::make(args));
    } catch (const std::exception& e) {
        throw std::runtime_error(std::string("SoapySDR: ") + e.what());
    }
    if (!m_device)
        throw std::runtime_error("SoapySDR: no receiver for \"" + m_args + "\"");

    try {
        const std::size_t channels = m_device->getNumChannels(SOAPY_SDR_RX);
        if (channels == 0)
            throw std::runtime_error("SoapySDR: " + m_device->getDriverKey() + " has no receive channel");
        m_streamChannel = std::min<std::size_t>(static_cast<std::size_t>(std::max(m_channel, 0)), channels - 1);
        double fullScale = 0.0;
        const std::string native = m_device->getNativeStreamFormat(SOAPY_SDR_RX, m_streamChannel, fullScale);
        const std::optional<StreamFormat> format =
            chooseStreamFormat(m_device->getStreamFormats(SOAPY_SDR_RX, m_streamChannel), native, fullScale);
        if (!format)
            throw std::runtime_error("SoapySDR: " + m_device->getDriverKey() + " streams none of CS16, CF32, CS8, CU8");
        m_format = *format;

        // Named as the device list names it, from what the module's search says of it.
        const SoapySDR::KwargsList found = SoapySDR::Device::enumerate(args);
        SoapySDR::Kwargs identity = found.empty() ? args : found.front();
        if (valueOf(identity, "driver").empty())
            identity["driver"] = m_device->getDriverKey();
        if (valueOf(identity, "serial").empty())
            identity["serial"] = valueOf(m_device->getHardwareInfo(), "serial");
        m_name = soapyLabel(identity);
        m_serial = valueOf(identity, "serial");
        restoreSettings();
        readFrontEnd();
    } catch (...) {
        m_device.reset();
        throw;
    }
    return true;
}

void SoapyDevice::restoreSettings()
{
    guarded([&](SoapySDR::Device& d) {
        if (m_choices.automaticGain && d.hasGainMode(SOAPY_SDR_RX, m_streamChannel))
            d.setGainMode(SOAPY_SDR_RX, m_streamChannel, *m_choices.automaticGain);
        const std::vector<std::string> elements = d.listGains(SOAPY_SDR_RX, m_streamChannel);
        for (const auto& [name, db] : m_choices.gainsDb)
            if (std::find(elements.begin(), elements.end(), name) != elements.end())
                d.setGain(SOAPY_SDR_RX, m_streamChannel, name, db);
        const std::vector<std::string> antennas = d.listAntennas(SOAPY_SDR_RX, m_streamChannel);
        if (std::find(antennas.begin(), antennas.end(), m_choices.antenna) != antennas.end())
            d.setAntenna(SOAPY_SDR_RX, m_streamChannel, m_choices.antenna);
        if (m_choices.frequencyCorrectionPpm && d.hasFrequencyCorrection(SOAPY_SDR_RX, m_streamChannel))
            d.setFrequencyCorrection(SOAPY_SDR_RX, m_streamChannel, *m_choices.frequencyCorrectionPpm);
    });
}

void SoapyDevice::readFrontEnd()
{
    FrontEndInfo info;
    info.backend = kBackend;
    const bool read = guarded([&](SoapySDR::Device& d) {
        const std::size_t ch = m_streamChannel;
        for (const SoapySDR::Range& range : d.getSampleRateRange(SOAPY_SDR_RX, ch))
            info.rates.push_back({range.minimum(), range.maximum(), range.step()});
        for (const std::string& name : d.listGains(SOAPY_SDR_RX, ch)) {
            const SoapySDR::Range range = d.getGainRange(SOAPY_SDR_RX, ch, name);
            info.gains.push_back({name, range.minimum(), range.maximum(), range.step(), d.getGain(SOAPY_SDR_RX, ch, name)});
        }
        info.hasAutomaticGain = d.hasGainMode(SOAPY_SDR_RX, ch);
        info.automaticGain = info.hasAutomaticGain && d.getGainMode(SOAPY_SDR_RX, ch);
        info.antennas = d.listAntennas(SOAPY_SDR_RX, ch);
        info.antenna = info.antennas.empty() ? std::string() : d.getAntenna(SOAPY_SDR_RX, ch);
        info.hasFrequencyCorrection = d.hasFrequencyCorrection(SOAPY_SDR_RX, ch);
        info.frequencyCorrectionPpm = info.hasFrequencyCorrection ? d.getFrequencyCorrection(SOAPY_SDR_RX, ch) : 0.0;
    });
    if (read)
        m_frontEnd = std::move(info);
}

FrontEndInfo SoapyDevice::frontEnd()
{
    if (!m_device) {
        FrontEndInfo closed;
        closed.backend = kBackend;
        return closed;
    }
    return m_frontEnd;
}

void SoapyDevice::closeStream()
{
    if (m_stream == nullptr)
        return;
    guarded([&](SoapySDR::Device& d) { d.closeStream(m_stream); });
    m_stream = nullptr;
}

void SoapyDevice::close()
{
    stopStreaming();
    closeStream();
    m_device.reset();
    m_name.clear();
    m_serial.clear();
    m_actualRateHz = 0;
    m_frontEnd = FrontEndInfo{};
}

bool SoapyDevice::startStreaming()
{
    if (!m_device)
        return false;
    if (m_stream == nullptr) {
        const bool setUp = guarded([&](SoapySDR::Device& d) {
            m_stream = d.setupStream(SOAPY_SDR_RX, wireName(m_format.wire), {m_streamChannel});
        });
        if (!setUp || m_stream == nullptr)
            return false;
        // Converted formats are read into this first; CS16 lands in the caller's buffer.
        m_wire.assign(m_format.wire == WireFormat::CS16 ? 0 : kSamplesPerTransfer * wireBytesPerPair(m_format.wire), 0);
    }
    int result = 0;
    if (!guarded([&](SoapySDR::Device& d) { result = d.activateStream(m_stream); }) || result != 0)
        return false;
    m_expectedTimeNs = -1;
    m_streaming = true;
    return true;
}

void SoapyDevice::stopStreaming()
{
    if (!m_streaming.exchange(false))
        return;
    const std::lock_guard lock(m_readMutex);
    guarded([&](SoapySDR::Device& d) { d.deactivateStream(m_stream); });
}

void SoapyDevice::noteTimeStamp(int flags, long long timeNs, std::size_t pairs)
{
    if (!(flags & SOAPY_SDR_HAS_TIME) || m_rateHz <= 0.0) {
        m_expectedTimeNs = -1;
        return;
    }
    if (m_expectedTimeNs >= 0 && timeNs > m_expectedTimeNs) {
        const double missing = static_cast<double>(timeNs - m_expectedTimeNs) * m_rateHz * 1e-9;
        m_lostSamples.fetch_add(static_cast<uint64_t>(std::llround(missing)), std::memory_order_relaxed);
    }
    m_expectedTimeNs = timeNs + static_cast<long long>(std::llround(static_cast<double>(pairs) * 1e9 / m_rateHz));
}

bool SoapyDevice::readSamples(uint8_t* buffer, uint32_t lengthBytes)
{
    const std::lock_guard lock(m_readMutex);
    if (!m_streaming.load() || m_stream == nullptr || buffer == nullptr || lengthBytes % 4 != 0)
        return false;
    auto* out = reinterpret_cast<int16_t*>(buffer);
    const std::size_t wanted = lengthBytes / 4;
    const std::size_t chunk = m_format.wire == WireFormat::CS16 ? wanted : kSamplesPerTransfer;
    std::size_t filled = 0;
    while (filled < wanted) {
        if (!m_streaming.load())
            break;
        const std::size_t ask = std::min(wanted - filled, chunk);
        void* target = m_format.wire == WireFormat::CS16 ? static_cast<void*>(out + 2 * filled) : m_wire.data();
        void* const buffs[] = {target};
        int flags = 0;
        long long timeNs = 0;
        int count = SOAPY_SDR_STREAM_ERROR;
        guarded([&](SoapySDR::Device& d) {
            count = d.readStream(m_stream, buffs, ask, flags, timeNs, kReadTimeoutUs);
        });
        if (count == SOAPY_SDR_OVERFLOW) {
            m_overflows.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        if (count <= 0)
            break;
        const auto pairs = static_cast<std::size_t>(count);
        noteTimeStamp(flags, timeNs, pairs);
        if (m_format.wire != WireFormat::CS16 || m_format.cs16Shift != 0)
            convertToCs16(m_format, target, out + 2 * filled, pairs);
        filled += pairs;
    }
    if (filled == wanted)
        return true;
    // What arrived of a block that could not be completed never reaches the analyser.
    m_lostSamples.fetch_add(filled, std::memory_order_relaxed);
    m_expectedTimeNs = -1;
    return false;
}

void SoapyDevice::setCenterFrequency(uint64_t hz)
{
    guarded([&](SoapySDR::Device& d) { d.setFrequency(SOAPY_SDR_RX, m_streamChannel, static_cast<double>(hz)); });
}

void SoapyDevice::setSampleRate(uint32_t hz)
{
    m_actualRateHz = 0;
    // A rate the receiver refuses leaves it at the one it has, which is what the analyser must
    // then process at.
    guarded([&](SoapySDR::Device& d) { d.setSampleRate(SOAPY_SDR_RX, m_streamChannel, hz); });
    guarded([&](SoapySDR::Device& d) {
        m_rateHz = d.getSampleRate(SOAPY_SDR_RX, m_streamChannel);
        const auto actual = static_cast<int32_t>(std::lround(m_rateHz));
        if (actual > 0 && actual != static_cast<int32_t>(hz))
            m_actualRateHz = actual;
    });
}

void SoapyDevice::setGain(const std::string& element, double db)
{
    m_choices.gainsDb[element] = db;
    guarded([&](SoapySDR::Device& d) { d.setGain(SOAPY_SDR_RX, m_streamChannel, element, db); });
    readFrontEnd();
}

void SoapyDevice::setAutomaticGain(bool on)
{
    m_choices.automaticGain = on;
    guarded([&](SoapySDR::Device& d) { d.setGainMode(SOAPY_SDR_RX, m_streamChannel, on); });
    readFrontEnd();
}

void SoapyDevice::setAntenna(const std::string& name)
{
    m_choices.antenna = name;
    guarded([&](SoapySDR::Device& d) { d.setAntenna(SOAPY_SDR_RX, m_streamChannel, name); });
    readFrontEnd();
}

void SoapyDevice::setFrequencyCorrection(double ppm)
{
    m_choices.frequencyCorrectionPpm = ppm;
    guarded([&](SoapySDR::Device& d) { d.setFrequencyCorrection(SOAPY_SDR_RX, m_streamChannel, ppm); });
    readFrontEnd();
}

ReceiverLoss SoapyDevice::takeLoss()
{
    return {m_overflows.exchange(0, std::memory_order_relaxed), m_lostSamples.exchange(0, std::memory_order_relaxed)};
}
