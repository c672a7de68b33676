#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// A WAV file written front to back. The header's sizes are patched by patchHeader() and on
// destruction, so the file is valid whenever the last patch happened.
class WavWriter {
public:
    struct Format {
        bool isFloat;
        int channels;
        int bytesPerSample;
        uint32_t sampleRate;
    };

    // Null when the file cannot be created.
    static std::unique_ptr<WavWriter> create(const std::string& path, const Format& format);

    // Only create() can make the key, so every instance owns a file that opened.
    class Key {
        friend class WavWriter;
        Key() = default;
    };
    WavWriter(Key, std::FILE* file);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Appends whole frames; false when the file could not take them.
    bool write(const void* frames, std::size_t bytes);
    void patchHeader();

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    void writeHeader(const Format& format);

    std::unique_ptr<std::FILE, FileCloser> m_file;
    uint64_t m_dataBytes = 0;
};
