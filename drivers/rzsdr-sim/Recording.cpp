#include "Recording.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// Recordings are held in memory; beyond this the host would suffer more than the analyser.
constexpr std::uintmax_t kMaxRecordingBytes = std::uintmax_t{1} << 31;
constexpr std::size_t kMaxMetadataBytes = 1 << 20;
constexpr int kMaxJsonDepth = 64;

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A strict JSON reader that only remembers the string members of the top-level "global" object.
class JsonScanner {
public:
    explicit JsonScanner(const std::string& text) : m_text(text) {}

    std::optional<std::string> datatype()
    {
        if (!value(0, Context::Top))
            return std::nullopt;
        skipSpace();
        if (m_pos != m_text.size() || !m_found)
            return std::nullopt;
        return m_datatype;
    }

private:
    enum class Context { Top, Root, Global, Other };

    void skipSpace()
    {
        while (m_pos < m_text.size() && std::strchr(" \t\r\n", m_text[m_pos]) != nullptr)
            ++m_pos;
    }
    bool take(char c)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool string(std::string& out)
    {
        if (!take('"'))
            return false;
        out.clear();
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c == '\\') {
                if (m_pos >= m_text.size())
                    return false;
                const char e = m_text[m_pos++];
                if (e == 'u') {
                    if (m_pos + 4 > m_text.size())
                        return false;
                    for (int i = 0; i < 4; ++i)
                        if (!std::isxdigit(static_cast<unsigned char>(m_text[m_pos++])))
                            return false;
                    out += '?';
                } else if (std::strchr("\"\\/bfnrt", e) != nullptr) {
                    out += e;
                } else {
                    return false;
                }
                continue;
            }
            out += c;
        }
        return false;
    }
    bool literal()
    {
        skipSpace();
        for (const char* word : {"true", "false", "null"}) {
            const std::size_t n = std::strlen(word);
            if (m_text.compare(m_pos, n, word) == 0) {
                m_pos += n;
                return true;
            }
        }
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && std::strchr("+-0123456789.eE", m_text[m_pos]) != nullptr)
            ++m_pos;
        return m_pos > start;
    }
    bool value(int depth, Context context)
    {
        if (depth > kMaxJsonDepth)
            return false;
        skipSpace();
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos];
        if (c == '{')
            return object(depth, context == Context::Top ? Context::Root : context);
        if (c == '[') {
            ++m_pos;
            if (take(']'))
                return true;
            do {
                if (!value(depth + 1, Context::Other))
                    return false;
            } while (take(','));
            return take(']');
        }
        if (c == '"') {
            std::string ignored;
            return string(ignored);
        }
        return literal();
    }
    bool object(int depth, Context context)
    {
        ++m_pos;
        if (take('}'))
            return true;
        do {
            std::string key;
            if (!string(key) || !take(':'))
                return false;
            skipSpace();
            if (context == Context::Global && key == "core:datatype" && m_pos < m_text.size() && m_text[m_pos] == '"') {
                if (!string(m_datatype))
                    return false;
                m_found = true;
                continue;
            }
            const Context inner = context == Context::Root && key == "global" ? Context::Global : Context::Other;
            if (!value(depth + 1, inner))
                return false;
        } while (take(','));
        return take('}');
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
    std::string m_datatype;
    bool m_found = false;
};

bool readFile(const std::string& path, std::uintmax_t limit, std::string& bytes, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uintmax_t>(size) > limit) {
        error = path + " is too large or unreadable";
        return false;
    }
    in.seekg(0);
    bytes.resize(static_cast<std::size_t>(size));
    if (!in.read(bytes.data(), size)) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

} // namespace

std::optional<std::string> sigmfDatatype(const std::string& metadata)
{
    return JsonScanner(metadata).datatype();
}

std::optional<Recording> Recording::load(const std::string& path, std::string& error)
{
    std::string dataPath = path;
    const bool sigmf = endsWith(path, ".sigmf-meta") || endsWith(path, ".sigmf-data") || endsWith(path, ".sigmf");
    if (sigmf) {
        const std::string base = path.substr(0, path.rfind('.'));
        std::string metadata;
        if (!readFile(base + ".sigmf-meta", kMaxMetadataBytes, metadata, error))
            return std::nullopt;
        const std::optional<std::string> datatype = sigmfDatatype(metadata);
        if (!datatype) {
            error = base + ".sigmf-meta is not valid SigMF metadata";
            return std::nullopt;
        }
        if (*datatype != "ci16_le") {
            error = "unsupported SigMF datatype " + *datatype + " (only ci16_le)";
            return std::nullopt;
        }
        dataPath = base + ".sigmf-data";
    }
    std::string bytes;
    if (!readFile(dataPath, kMaxRecordingBytes, bytes, error))
        return std::nullopt;
    if (bytes.empty() || bytes.size() % 4 != 0) {
        error = dataPath + " does not hold whole 16-bit I/Q pairs";
        return std::nullopt;
    }
    std::vector<int16_t> iq(bytes.size() / 2);
    // Little-endian on disk, as on every host this runs on.
    std::memcpy(iq.data(), bytes.data(), bytes.size());
    return Recording(std::move(iq));
}

void Recording::read(uint8_t* iq, std::size_t samples)
{
    while (samples > 0) {
        const std::size_t n = std::min(samples, this->samples() - m_position);
        std::memcpy(iq, m_iq.data() + 2 * m_position, n * 4);
        iq += 4 * n;
        samples -= n;
        m_position = (m_position + n) % this->samples();
    }
}
