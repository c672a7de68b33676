#include "SimConfig.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace {

const char* variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

void ignored(const char* name, const char* value)
{
    std::fprintf(stderr, "[rzsdr-sim] ignoring %s=%s\n", name, value);
}

template <typename T>
bool parseNumber(std::string_view text, T& out)
{
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    out = value;
    return true;
}

template <typename T>
void number(const char* name, T& out, T minimum)
{
    const char* value = variable(name);
    T parsed{};
    if (value == nullptr)
        return;
    if (parseNumber(value, parsed) && parsed >= minimum)
        out = parsed;
    else
        ignored(name, value);
}

// A switch: "1" on, "0" off.
void flag(const char* name, bool& out)
{
    const char* value = variable(name);
    if (value == nullptr)
        return;
    const std::string_view text = value;
    if (text == "0" || text == "1")
        out = text == "1";
    else
        ignored(name, value);
}

// "AFTER:DURATION[,AFTER:DURATION...]", every duration at least 1 ms.
bool parseStalls(std::string_view text, std::vector<SimConfig::Stall>& out)
{
    std::vector<SimConfig::Stall> stalls;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view entry = text.substr(0, comma);
        const std::size_t colon = entry.find(':');
        SimConfig::Stall stall;
        if (colon == std::string_view::npos || !parseNumber(entry.substr(0, colon), stall.afterMs) ||
            !parseNumber(entry.substr(colon + 1), stall.durationMs) || stall.durationMs == 0)
            return false;
        stalls.push_back(stall);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    out = std::move(stalls);
    return true;
}

} // namespace

SimConfig SimConfig::fromEnvironment()
{
    SimConfig config;

    if (const char* kinds = variable("RZSIM_KINDS")) {
        const std::string_view text = kinds;
        if (text == "none") {
            config.kind0Present = config.kind1Present = false;
        } else if (text == "0" || text == "1" || text == "0,1" || text == "1,0") {
            config.kind0Present = text.find('0') != std::string_view::npos;
            config.kind1Present = text.find('1') != std::string_view::npos;
        } else {
            ignored("RZSIM_KINDS", kinds);
        }
    }

    if (const char* path = variable("RZSIM_REPLAY"))
        config.replayPath = path;

    if (const char* fail = variable("RZSIM_READ_FAIL")) {
        uint32_t every = 0;
        if (std::string_view(fail) == "all")
            config.failAllReads = true;
        else if (parseNumber(std::string_view(fail), every) && every > 0)
            config.failEveryNthRead = every;
        else
            ignored("RZSIM_READ_FAIL", fail);
    }

    number("RZSIM_STALL_AFTER", config.stallAfterReads, uint64_t{1});
    if (const char* stalls = variable("RZSIM_STALL"); stalls != nullptr && !parseStalls(stalls, config.stalls))
        ignored("RZSIM_STALL", stalls);

    if (const char* serial = variable("RZSIM_SERIAL")) {
        const std::string_view text = serial;
        if (text == "ok")
            config.serial = Serial::Ok;
        else if (text == "absent")
            config.serial = Serial::Absent;
        else if (text == "fail")
            config.serial = Serial::Fail;
        else if (text == "empty")
            config.serial = Serial::Empty;
        else
            ignored("RZSIM_SERIAL", serial);
    }

    flag("RZSIM_REALTIME", config.realTime);

    uint32_t spt = config.samplesPerTransfer;
    number("RZSIM_SPT", spt, uint32_t{64});
    if (spt > 65535) {
        ignored("RZSIM_SPT", variable("RZSIM_SPT"));
        spt = config.samplesPerTransfer;
    }
    config.samplesPerTransfer = static_cast<uint16_t>(spt);

    number("RZSIM_SEED", config.seed, uint64_t{0});
    flag("RZSIM_TEST_TONES", config.testTones);
    number("RZSIM_TONE_GATE", config.toneGateMs, uint32_t{2});
    return config;
}
