#include "acquisition/RZ640Device.h"

#include "acquisition/RzSdrAbi.h"
#include "platform/ExecutablePath.h"
#include "platform/SharedLibrary.h"
#include "platform/StderrCapture.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

// The record's texts are fixed-size fields: never read past them, terminated or not.
std::string boundedText(const char* text, std::size_t size)
{
    return std::string(text, strnlen(text, size));
}

// Each line once, on one line: the SDK says the same for both kinds it looks for.
std::string distinctLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && std::find(lines.begin(), lines.end(), line) == lines.end())
            lines.push_back(line);
    }
    std::string joined;
    for (const std::string& line : lines)
        joined += (joined.empty() ? "" : "; ") + line;
    return joined;
}

} // namespace

std::string RZ640Device::sdkFileName()
{
    return SharedLibrary::fileName("rzsdr");
}

std::vector<std::string> RZ640Device::sdkCandidates(const std::string& executablePath)
{
    const std::string file = sdkFileName();
    std::vector<std::string> candidates{file};
    const std::size_t cut = executablePath.find_last_of("\\/");
    if (cut == std::string::npos)
        return candidates;
    const std::string sep(1, SharedLibrary::kPathSeparator);
    const std::string dir = executablePath.substr(0, cut) + sep;
    const std::string up = ".." + sep;
    for (const std::string& sub : {std::string(), "api" + sep, up + "api" + sep, up + up + "api" + sep})
        candidates.push_back(dir + sub + file);
    return candidates;
}

RZ640Device::RZ640Device() : RZ640Device(sdkCandidates(executablePath())) {}

RZ640Device::RZ640Device(std::vector<std::string> candidates) : m_candidates(std::move(candidates))
{
}

RZ640Device::~RZ640Device()
{
    close();
    m_api = nullptr;
    m_library.reset();
}

void RZ640Device::loadSdk()
{
    if (m_library && m_api)
        return;
    // A library that loaded but gave no table stays loaded; only the entry point is retried.
    if (!m_library) {
        for (const std::string& candidate : m_candidates) {
            m_library = SharedLibrary::open(candidate);
            if (m_library)
                break;
        }
        if (!m_library)
            throw std::runtime_error("Failed to load " + sdkFileName());
    }
    const auto init = reinterpret_cast<RzInitFn>(m_library->symbol(kRzSdrInitSymbol));
    if (init == nullptr)
        throw std::runtime_error(std::string(SharedLibrary::kLookupName) + "(" + kRzSdrInitSymbol + ") failed");
    m_api = init();
    if (m_api == nullptr)
        throw std::runtime_error("rzsdr_init returned NULL");
}

bool RZ640Device::open()
{
    loadSdk();
    if (m_device != nullptr)
        return true;
    // The SDK gives its reasons only on standard error; a failed find passes them on.
    StderrCapture sdkWords;
    m_device = m_api->find(kRzKindRz640Usb);
    if (m_device == nullptr)
        m_device = m_api->find(kRzKindRz640Network);
    const std::string said = distinctLines(sdkWords.take());
    if (m_device == nullptr)
        throw std::runtime_error("RZ640 device not found (find(RZ_640_1/RZ_640_N) both returned null)"
                                 + (said.empty() ? std::string() : "; the SDK said: " + said));
    if (m_device->refreshInfo != nullptr)
        m_device->refreshInfo(m_device->callbackContext, m_device->info);
    return true;
}

void RZ640Device::close()
{
    if (!ready())
        return;
    m_api->stopStreaming(m_device);
    m_api->release(m_device);
    m_device = nullptr;
}

bool RZ640Device::startStreaming()
{
    if (!ready())
        return false;
    m_api->startStreaming(m_device);
    return true;
}

void RZ640Device::stopStreaming()
{
    if (ready())
        m_api->stopStreaming(m_device);
}

bool RZ640Device::readSamples(uint8_t* buffer, uint32_t lengthBytes)
{
    return ready() && m_api->read(m_device, buffer, lengthBytes);
}

void RZ640Device::setCenterFrequency(uint64_t hz)
{
    if (ready())
        m_api->setFrequency(m_device, hz);
}

void RZ640Device::setSampleRate(uint32_t hz)
{
    if (ready())
        m_api->setSampleRate(m_device, hz);
}

void RZ640Device::setPort(uint8_t port)
{
    // The SDK numbers the first two inputs the other way round.
    if (ready())
        m_api->setPort(m_device, port < 2 ? static_cast<uint8_t>(1 - port) : port, port);
}

void RZ640Device::setAttenuation(uint8_t db)
{
    if (ready())
        m_api->setAttenuation(m_device, db);
}

void RZ640Device::setPreamp(uint8_t db)
{
    if (ready())
        m_api->setPreamp(m_device, db);
}

void RZ640Device::setIfGain(uint8_t db)
{
    if (ready())
        m_api->setIfGain(m_device, db);
}

void RZ640Device::selectDevice(const std::string&) {}

std::vector<std::string> RZ640Device::listDevices()
{
    return {"RZ640"};
}

void RZ640Device::setChannel(int32_t) {}

int32_t RZ640Device::integerQuery()
{
    return 0;
}

int32_t RZ640Device::actualSampleRate()
{
    return 0;
}

uint32_t RZ640Device::samplesPerTransfer()
{
    return m_device ? m_device->samplesPerTransfer : kDefaultSamplesPerTransfer;
}

std::string RZ640Device::deviceName()
{
    return m_device ? boundedText(m_device->name, sizeof m_device->name) : std::string();
}

std::string RZ640Device::serialNumber()
{
    if (!m_device)
        return {};
    if (m_device->querySerial != nullptr) {
        char buffer[kRzSerialBufferBytes] = {};
        if (m_device->querySerial(m_device->callbackContext, buffer) && buffer[0] != '\0')
            return boundedText(buffer, sizeof buffer);
    }
    return boundedText(m_device->serial, sizeof m_device->serial);
}
