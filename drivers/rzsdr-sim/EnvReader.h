#pragma once

#include <charconv>
#include <string_view>

// Reads a simulator's environment variables. A value that does not parse is reported on
// standard error under the simulator's tag and leaves the caller's default.
class EnvReader {
public:
    explicit EnvReader(const char* tag) : m_tag(tag) {}

    // The variable's text; nothing when it is unset or empty.
    const char* text(const char* name) const;
    void ignored(const char* name, const char* value) const;

    template <typename T>
    static bool parseNumber(std::string_view text, T& out)
    {
        T value{};
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size())
            return false;
        out = value;
        return true;
    }

    template <typename T>
    void number(const char* name, T& out, T minimum) const
    {
        const char* value = text(name);
        T parsed{};
        if (value == nullptr)
            return;
        if (parseNumber(value, parsed) && parsed >= minimum)
            out = parsed;
        else
            ignored(name, value);
    }

    // A switch: "1" on, "0" off.
    void flag(const char* name, bool& out) const;

private:
    const char* m_tag;
};
