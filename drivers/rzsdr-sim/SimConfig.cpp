#include "SimConfig.h"

#include "EnvReader.h"

#include <string_view>
#include <utility>

namespace {

// "AFTER:DURATION[,AFTER:DURATION...]", every duration at least 1 ms.
bool parseStalls(std::string_view text, std::vector<SimConfig::Stall>& out)
{
    std::vector<SimConfig::Stall> stalls;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view entry = text.substr(0, comma);
        const std::size_t colon = entry.find(':');
        SimConfig::Stall stall;
        if (colon == std::string_view::npos || !EnvReader::parseNumber(entry.substr(0, colon), stall.afterMs) ||
            !EnvReader::parseNumber(entry.substr(colon + 1), stall.durationMs) || stall.durationMs == 0)
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
    const EnvReader env("rzsdr-sim");
    SimConfig config;

    if (const char* kinds = env.text("RZSIM_KINDS")) {
        const std::string_view text = kinds;
        if (text == "none") {
            config.kind0Present = config.kind1Present = false;
        } else if (text == "0" || text == "1" || text == "0,1" || text == "1,0") {
            config.kind0Present = text.find('0') != std::string_view::npos;
            config.kind1Present = text.find('1') != std::string_view::npos;
        } else {
            env.ignored("RZSIM_KINDS", kinds);
        }
    }

    if (const char* path = env.text("RZSIM_REPLAY"))
        config.replayPath = path;

    if (const char* fail = env.text("RZSIM_READ_FAIL")) {
        uint32_t every = 0;
        if (std::string_view(fail) == "all")
            config.failAllReads = true;
        else if (EnvReader::parseNumber(std::string_view(fail), every) && every > 0)
            config.failEveryNthRead = every;
        else
            env.ignored("RZSIM_READ_FAIL", fail);
    }

    env.number("RZSIM_STALL_AFTER", config.stallAfterReads, uint64_t{1});
    if (const char* stalls = env.text("RZSIM_STALL"); stalls != nullptr && !parseStalls(stalls, config.stalls))
        env.ignored("RZSIM_STALL", stalls);

    if (const char* serial = env.text("RZSIM_SERIAL")) {
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
            env.ignored("RZSIM_SERIAL", serial);
    }

    env.flag("RZSIM_REALTIME", config.realTime);

    uint32_t spt = config.samplesPerTransfer;
    env.number("RZSIM_SPT", spt, uint32_t{64});
    if (spt > 65535) {
        env.ignored("RZSIM_SPT", env.text("RZSIM_SPT"));
        spt = config.samplesPerTransfer;
    }
    config.samplesPerTransfer = static_cast<uint16_t>(spt);

    env.number("RZSIM_SEED", config.seed, uint64_t{0});
    env.flag("RZSIM_TEST_TONES", config.testTones);
    env.number("RZSIM_TONE_GATE", config.toneGateMs, uint32_t{2});
    return config;
}
