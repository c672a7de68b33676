#include "drivers/asio-common/AsioDriverBase.h"

#include "audio/SampleConversion.h"
#include "platform/MonotonicClock.h"

#include <algorithm>
#include <cstring>

namespace {

void copyText(char* field, std::size_t size, const std::string& text)
{
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

bool isPowerOfTwo(int32_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

} // namespace

AsioDriverBase::AsioDriverBase(std::string name, int32_t version)
    : m_name(std::move(name))
    , m_version(version)
{
}

void AsioDriverBase::shutdown()
{
    stopRunning();
    releaseBuffers();
}

void AsioDriverBase::stopRunning()
{
    if (m_state == State::Running) {
        stopStream();
        m_state = State::Prepared;
    }
}

void AsioDriverBase::releaseBuffers()
{
    if (m_state != State::Prepared)
        return;
    m_outputs.clear();
    m_bufferFrames = 0;
    m_callbacks = nullptr;
    m_state = State::Initialized;
}

ASIOBool AsioDriverBase::init(void*)
{
    if (m_state != State::Loaded)
        return ASIOTrue;
    std::string error;
    if (!openDevice(error)) {
        m_errorText = error;
        return ASIOFalse;
    }
    m_state = State::Initialized;
    return ASIOTrue;
}

void AsioDriverBase::getDriverName(char* name)
{
    copyText(name, sizeof ASIODriverInfo::name, m_name);
}

int32_t AsioDriverBase::getDriverVersion()
{
    return m_version;
}

void AsioDriverBase::getErrorMessage(char* text)
{
    copyText(text, sizeof ASIODriverInfo::errorMessage, m_errorText);
}

ASIOError AsioDriverBase::start()
{
    if (m_state == State::Running)
        return ASE_OK;
    if (m_state != State::Prepared)
        return ASE_InvalidMode;
    m_samplePosition = 0;
    if (!startStream())
        return ASE_HWMalfunction;
    m_state = State::Running;
    return ASE_OK;
}

ASIOError AsioDriverBase::stop()
{
    stopRunning();
    return ASE_OK;
}

ASIOError AsioDriverBase::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels)
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    if (numInputChannels == nullptr || numOutputChannels == nullptr)
        return ASE_InvalidParameter;
    *numInputChannels = 0;
    *numOutputChannels = outputCount();
    return ASE_OK;
}

ASIOError AsioDriverBase::getLatencies(int32_t* inputLatency, int32_t* outputLatency)
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    if (inputLatency == nullptr || outputLatency == nullptr)
        return ASE_InvalidParameter;
    *inputLatency = 0;
    *outputLatency = m_bufferFrames > 0 ? m_bufferFrames : bufferLimits().preferredSize;
    return ASE_OK;
}

ASIOError AsioDriverBase::getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                        int32_t* granularity)
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr || granularity == nullptr)
        return ASE_InvalidParameter;
    const AsioBufferLimits limits = bufferLimits();
    *minSize = limits.minSize;
    *maxSize = limits.maxSize;
    *preferredSize = limits.preferredSize;
    *granularity = limits.granularity;
    return ASE_OK;
}

ASIOError AsioDriverBase::canSampleRate(ASIOSampleRate rate)
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    return supportsRate(rate) ? ASE_OK : ASE_NoClock;
}

ASIOError AsioDriverBase::getSampleRate(ASIOSampleRate* rate)
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    if (rate == nullptr)
        return ASE_InvalidParameter;
    *rate = m_sampleRate;
    return ASE_OK;
}

ASIOError AsioDriverBase::setSampleRate(ASIOSampleRate rate)
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    if (!supportsRate(rate))
        return ASE_NoClock;
    // The stream runs at the rate it started with.
    if (m_state == State::Running && rate != m_sampleRate)
        return ASE_InvalidMode;
    m_sampleRate = rate;
    return ASE_OK;
}

ASIOError AsioDriverBase::getClockSources(ASIOClockSource* clocks, int32_t* numSources)
{
    if (clocks == nullptr || numSources == nullptr || *numSources < 1)
        return ASE_InvalidParameter;
    *clocks = ASIOClockSource{0, -1, -1, ASIOTrue, {}};
    copyText(clocks->name, sizeof clocks->name, "Internal");
    *numSources = 1;
    return ASE_OK;
}

ASIOError AsioDriverBase::setClockSource(int32_t reference)
{
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError AsioDriverBase::getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp)
{
    if (position == nullptr || timeStamp == nullptr)
        return ASE_InvalidParameter;
    if (m_state != State::Running)
        return ASE_NotPresent;
    *position = m_samplePosition;
    *timeStamp = m_switchTimeNs;
    return ASE_OK;
}

ASIOError AsioDriverBase::getChannelInfo(ASIOChannelInfo* info)
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    if (info == nullptr || info->isInput || info->channel < 0 || info->channel >= outputCount())
        return ASE_InvalidParameter;
    const int32_t channel = info->channel;
    info->isActive = std::any_of(m_outputs.begin(), m_outputs.end(),
                                 [channel](const Output& o) { return o.channel == channel; })
                         ? ASIOTrue
                         : ASIOFalse;
    info->channelGroup = 0;
    info->type = outputType(channel);
    copyText(info->name, sizeof info->name, outputName(channel));
    return ASE_OK;
}

bool AsioDriverBase::acceptsBufferSize(int32_t frames) const
{
    const AsioBufferLimits limits = bufferLimits();
    if (frames < limits.minSize || frames > limits.maxSize)
        return false;
    if (limits.granularity == -1)
        return isPowerOfTwo(frames);
    return limits.granularity <= 0 || (frames - limits.minSize) % limits.granularity == 0;
}

int AsioDriverBase::bytesPerSample(int32_t channel) const
{
    return asioBytesPerSample(outputType(channel));
}

ASIOError AsioDriverBase::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                                        ASIOCallbacks* callbacks)
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    if (m_state != State::Initialized)
        return ASE_InvalidMode;
    if (bufferInfos == nullptr || callbacks == nullptr || callbacks->bufferSwitch == nullptr || numChannels < 1 ||
        !acceptsBufferSize(bufferSize))
        return ASE_InvalidParameter;
    std::vector<Output> outputs;
    for (int32_t k = 0; k < numChannels; ++k) {
        ASIOBufferInfo& info = bufferInfos[k];
        info.buffers[0] = info.buffers[1] = nullptr;
        const int32_t channel = info.channelNum;
        const bool taken = std::any_of(outputs.begin(), outputs.end(),
                                       [channel](const Output& o) { return o.channel == channel; });
        if (info.isInput || channel < 0 || channel >= outputCount() || taken || bytesPerSample(channel) == 0) {
            for (int32_t j = 0; j < k; ++j)
                bufferInfos[j].buffers[0] = bufferInfos[j].buffers[1] = nullptr;
            return ASE_InvalidParameter;
        }
        const auto bytes = static_cast<std::size_t>(bufferSize) * static_cast<std::size_t>(bytesPerSample(channel));
        Output& output = outputs.emplace_back();
        output.channel = channel;
        for (int half = 0; half < 2; ++half) {
            output.halves[half].assign(bytes, 0);
            info.buffers[half] = output.halves[half].data();
        }
    }
    m_outputs = std::move(outputs);
    m_bufferFrames = bufferSize;
    m_callbacks = callbacks;
    m_state = State::Prepared;
    return ASE_OK;
}

ASIOError AsioDriverBase::disposeBuffers()
{
    if (m_state == State::Loaded)
        return ASE_NotPresent;
    stopRunning();
    if (m_state != State::Prepared)
        return ASE_InvalidMode;
    releaseBuffers();
    return ASE_OK;
}

ASIOError AsioDriverBase::future(int32_t, void*)
{
    return ASE_InvalidParameter;
}

ASIOError AsioDriverBase::outputReady()
{
    return ASE_NotPresent;
}

void AsioDriverBase::switchBuffers(int32_t half)
{
    m_switchTimeNs = monotonicNowNs();
    m_callbacks->bufferSwitch(half, ASIOTrue);
    m_samplePosition += m_bufferFrames;
}
