#include "drivers/asio-wav/WavWriter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr long kRiffSizeAt = 4;
constexpr long kDataSizeAt = 40;
constexpr uint32_t kHeaderBytesAfterRiffSize = 36;

void put16(unsigned char* at, uint16_t v)
{
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* at, uint32_t v)
{
    put16(at, static_cast<uint16_t>(v));
    put16(at + 2, static_cast<uint16_t>(v >> 16));
}

} // namespace

std::unique_ptr<WavWriter> WavWriter::create(const std::string& path, const Format& format)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return nullptr;
    auto writer = std::make_unique<WavWriter>(Key(), file);
    writer->writeHeader(format);
    return writer;
}

WavWriter::WavWriter(Key, std::FILE* file)
    : m_file(file)
{
}

WavWriter::~WavWriter()
{
    patchHeader();
}

void WavWriter::writeHeader(const Format& format)
{
    unsigned char header[44] = {};
    const auto blockAlign = static_cast<uint16_t>(format.channels * format.bytesPerSample);
    std::memcpy(header, "RIFF", 4);
    put32(header + kRiffSizeAt, kHeaderBytesAfterRiffSize);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(header + 16, 16);
    put16(header + 20, format.isFloat ? 3 : 1); // IEEE float or integer PCM
    put16(header + 22, static_cast<uint16_t>(format.channels));
    put32(header + 24, format.sampleRate);
    put32(header + 28, format.sampleRate * blockAlign);
    put16(header + 32, blockAlign);
    put16(header + 34, static_cast<uint16_t>(8 * format.bytesPerSample));
    std::memcpy(header + 36, "data", 4);
    put32(header + kDataSizeAt, 0);
    std::fwrite(header, 1, sizeof header, m_file.get());
}

bool WavWriter::write(const void* frames, std::size_t bytes)
{
    const std::size_t written = std::fwrite(frames, 1, bytes, m_file.get());
    m_dataBytes += written;
    return written == bytes;
}

void WavWriter::patchHeader()
{
    // A file past the 32-bit sizes keeps its audio; its sizes stop at the largest they can say.
    const auto data = static_cast<uint32_t>(std::min<uint64_t>(m_dataBytes, UINT32_MAX - kHeaderBytesAfterRiffSize));
    unsigned char size[4];
    std::FILE* file = m_file.get();
    put32(size, kHeaderBytesAfterRiffSize + data);
    std::fseek(file, kRiffSizeAt, SEEK_SET);
    std::fwrite(size, 1, 4, file);
    put32(size, data);
    std::fseek(file, kDataSizeAt, SEEK_SET);
    std::fwrite(size, 1, 4, file);
    std::fseek(file, 0, SEEK_END);
    std::fflush(file);
}
