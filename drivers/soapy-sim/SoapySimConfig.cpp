#include "SoapySimConfig.h"

#include "EnvReader.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

bool knownFormat(std::string_view format)
{
    return format == "CS16" || format == "CF32" || format == "CS8";
}

// "FORMAT[,FORMAT...]": one unit per entry, numbered from serial 5A000001; "none" for no unit.
bool parseUnits(std::string_view text, std::vector<SoapySimConfig::Unit>& out)
{
    std::vector<SoapySimConfig::Unit> units;
    if (text != "none") {
        while (true) {
            const std::size_t comma = text.find(',');
            const std::string_view format = text.substr(0, comma);
            if (!knownFormat(format))
                return false;
            char serial[16];
            std::snprintf(serial, sizeof serial, "5A%06zu", units.size() + 1);
            units.push_back({serial, std::string(format)});
            if (comma == std::string_view::npos)
                break;
            text.remove_prefix(comma + 1);
        }
    }
    out = std::move(units);
    return true;
}

} // namespace

SoapySimConfig SoapySimConfig::fromEnvironment()
{
    const EnvReader env("soapy-sim");
    SoapySimConfig config;
    if (const char* units = env.text("SOAPYSIM_UNITS"); units != nullptr && !parseUnits(units, config.units))
        env.ignored("SOAPYSIM_UNITS", units);
    if (const char* path = env.text("SOAPYSIM_REPLAY"))
        config.replayPath = path;
    env.flag("SOAPYSIM_REALTIME", config.realTime);
    uint32_t maxRateKhz = static_cast<uint32_t>(config.maxRateHz / 1e3);
    env.number("SOAPYSIM_MAX_RATE_KHZ", maxRateKhz, uint32_t{1000});
    config.maxRateHz = maxRateKhz * 1e3;
    env.number("SOAPYSIM_MTU", config.mtu, std::size_t{64});
    env.number("SOAPYSIM_OVERFLOW_EVERY", config.overflowEveryNthRead, uint32_t{1});
    env.number("SOAPYSIM_VANISH_AFTER", config.vanishAfterReads, uint64_t{1});
    env.number("SOAPYSIM_SEED", config.seed, uint64_t{0});
    env.flag("SOAPYSIM_TEST_TONES", config.testTones);
    return config;
}

const SoapySimConfig::Unit* SoapySimConfig::unit(const std::string& serial) const
{
    const auto it = std::find_if(units.begin(), units.end(), [&](const Unit& u) { return u.serial == serial; });
    return it != units.end() ? &*it : nullptr;
}
