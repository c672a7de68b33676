#include "drivers/asio-wav/WavFileFeed.h"

#include "drivers/asio-wav/WavWriter.h"
#include "platform/ThreadName.h"

#include <chrono>

namespace {

// A loss leaves one mark behind; the writer takes them as they come.
constexpr std::size_t kMarkCapacity = 16;
constexpr auto kWritePeriod = std::chrono::milliseconds(20);
// About once a second the header catches up, so even a killed process leaves a valid file.
constexpr auto kPatchPeriod = std::chrono::seconds(1);

} // namespace

WavFileFeed::WavFileFeed(std::unique_ptr<WavWriter> writer, std::size_t frameBytes, std::size_t capacityBytes)
    : m_writer(std::move(writer)),
      m_spool(capacityBytes, frameBytes, kMarkCapacity),
      m_thread(&WavFileFeed::run, this)
{
}

WavFileFeed::~WavFileFeed()
{
    m_running = false;
    m_thread.join();
}

void WavFileFeed::push(const unsigned char* frames, std::size_t bytes)
{
    m_spool.push(frames, bytes);
}

void WavFileFeed::drain()
{
    for (;;) {
        if (m_spool.markDue() != nullptr) {
            m_spool.popMark();
            continue;
        }
        const std::span<const uint8_t> bytes = m_spool.readable();
        if (bytes.empty())
            return;
        m_writer->write(bytes.data(), bytes.size());
        m_spool.release(bytes.size());
    }
}

void WavFileFeed::run()
{
    nameCurrentThread("asio-wav-file");
    auto lastPatch = std::chrono::steady_clock::now();
    for (;;) {
        const bool finishing = !m_running.load();
        drain();
        const auto now = std::chrono::steady_clock::now();
        if (finishing || now - lastPatch >= kPatchPeriod) {
            m_writer->patchHeader();
            lastPatch = now;
        }
        if (finishing)
            return;
        std::this_thread::sleep_for(kWritePeriod);
    }
}
