// Registration of the simulated units with SoapySDR: what find reports and what make builds.

#include "SoapySimDevice.h"

#include <SoapySDR/Registry.hpp>

#include <memory>
#include <stdexcept>

namespace {

std::string valueOf(const SoapySDR::Kwargs& args, const char* key)
{
    const auto it = args.find(key);
    return it != args.end() ? it->second : std::string();
}

SoapySDR::KwargsList findUnits(const SoapySDR::Kwargs& args)
{
    const std::string driver = valueOf(args, "driver");
    if (!driver.empty() && driver != SoapySimDevice::kDriver)
        return {};
    const std::string serial = valueOf(args, "serial");
    SoapySDR::KwargsList found;
    for (const SoapySimConfig::Unit& unit : SoapySimConfig::fromEnvironment().units) {
        if (!serial.empty() && serial != unit.serial)
            continue;
        found.push_back({{"driver", SoapySimDevice::kDriver},
                         {"serial", unit.serial},
                         {"label", "RTSA Simulator " + unit.format + " :: " + unit.serial}});
    }
    return found;
}

SoapySDR::Device* makeUnit(const SoapySDR::Kwargs& args)
{
    const SoapySimConfig config = SoapySimConfig::fromEnvironment();
    const std::string serial = valueOf(args, "serial");
    const SoapySimConfig::Unit* unit = serial.empty() && !config.units.empty() ? &config.units.front() : config.unit(serial);
    if (unit == nullptr)
        throw std::runtime_error("rtsasim: no unit " + serial);
    std::optional<Recording> recording;
    if (!config.replayPath.empty()) {
        std::string error;
        recording = Recording::load(config.replayPath, error);
        if (!recording)
            throw std::runtime_error("rtsasim: " + error);
    }
    // SoapySDR takes the device and hands it back to unmake.
    return std::make_unique<SoapySimDevice>(config, *unit, std::move(recording)).release();
}

const SoapySDR::Registry kRegistration(SoapySimDevice::kDriver, &findUnits, &makeUnit, SOAPY_SDR_ABI_VERSION);

} // namespace
