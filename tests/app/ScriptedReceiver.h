#pragma once

#include "acquisition/IDevice.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// What a scripted receiver answers and what it was asked. The test keeps one and hands the
// controller a receiver reading it, so it can still be looked at after the controller is gone.
struct ReceiverScript {
    bool openResult = true;
    // Non-empty: open throws a runtime error with this text.
    std::string openError;
    std::string name = "RZ640 USB3 FT601";
    std::string serial = "RZ640-0042";
    std::vector<std::string> ids{"RZ640"};
    bool startResult = true;
    int32_t actualRate = 0;
    uint32_t samplesPerTransfer = 4096;

    std::atomic<int> opens{0};
    std::atomic<int> reads{0};

    // Holds the next setCenterFrequency until released: a retune caught inside the receiver.
    void holdNextRetune()
    {
        std::lock_guard lock(m_mutex);
        m_holdRetune = true;
        m_retuneHeld = false;
    }
    bool retuneHeld() const
    {
        std::lock_guard lock(m_mutex);
        return m_retuneHeld;
    }
    void releaseRetune()
    {
        {
            std::lock_guard lock(m_mutex);
            m_holdRetune = false;
        }
        m_retuneReleased.notify_all();
    }
    void waitIfRetuneHeld()
    {
        std::unique_lock lock(m_mutex);
        if (!m_holdRetune)
            return;
        m_retuneHeld = true;
        m_retuneReleased.wait(lock, [this] { return !m_holdRetune; });
    }

    void record(std::string call)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }
    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    void clearCalls()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    bool m_holdRetune = false;
    bool m_retuneHeld = false;
    std::condition_variable m_retuneReleased;
};

// A receiver that delivers silence, one block per millisecond while streaming, and records
// every control call (reads are only counted).
class ScriptedReceiver : public IDevice {
public:
    explicit ScriptedReceiver(std::shared_ptr<ReceiverScript> script) : m_script(std::move(script)) {}

    bool open() override
    {
        ++m_script->opens;
        m_script->record("open");
        if (!m_script->openError.empty())
            throw std::runtime_error(m_script->openError);
        return m_script->openResult;
    }
    void close() override { m_script->record("close"); }
    bool startStreaming() override
    {
        m_script->record("startStreaming");
        m_streaming = m_script->startResult;
        return m_script->startResult;
    }
    void stopStreaming() override
    {
        m_script->record("stopStreaming");
        m_streaming = false;
    }
    bool readSamples(uint8_t* buffer, uint32_t lengthBytes) override
    {
        ++m_script->reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!m_streaming.load())
            return false;
        std::memset(buffer, 0, lengthBytes);
        return true;
    }
    void setCenterFrequency(uint64_t hz) override
    {
        m_script->record("setCenterFrequency " + std::to_string(hz));
        m_script->waitIfRetuneHeld();
    }
    void setSampleRate(uint32_t hz) override { m_script->record("setSampleRate " + std::to_string(hz)); }
    void setPort(uint8_t port) override { m_script->record("setPort " + std::to_string(port)); }
    void setAttenuation(uint8_t db) override { m_script->record("setAttenuation " + std::to_string(db)); }
    void setPreamp(uint8_t db) override { m_script->record("setPreamp " + std::to_string(db)); }
    void setIfGain(uint8_t db) override { m_script->record("setIfGain " + std::to_string(db)); }
    void selectDevice(const std::string& id) override { m_script->record("selectDevice " + id); }
    std::vector<std::string> listDevices() override { return m_script->ids; }
    void setChannel(int32_t channel) override { m_script->record("setChannel " + std::to_string(channel)); }
    int32_t integerQuery() override { return 0; }
    int32_t actualSampleRate() override { return m_script->actualRate; }
    uint32_t samplesPerTransfer() override { return m_script->samplesPerTransfer; }
    std::string deviceName() override { return m_script->name; }
    std::string serialNumber() override { return m_script->serial; }

private:
    std::shared_ptr<ReceiverScript> m_script;
    std::atomic<bool> m_streaming{false};
};
