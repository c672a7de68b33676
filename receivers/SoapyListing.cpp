#include "receivers/SoapyListing.h"

#include <array>
#include <utility>

namespace {

std::string valueOf(const std::map<std::string, std::string>& kwargs, const std::string& key)
{
    const auto it = kwargs.find(key);
    return it != kwargs.end() ? it->second : std::string();
}

// The names users know the families by, for the modules Debian packages.
constexpr std::array<std::pair<const char*, const char*>, 9> kFamilies{{
    {"rtlsdr", "RTL-SDR"},
    {"airspy", "Airspy"},
    {"airspyhf", "Airspy HF+"},
    {"hackrf", "HackRF"},
    {"lime", "LimeSDR"},
    {"uhd", "USRP"},
    {"plutosdr", "PlutoSDR"},
    {"bladerf", "bladeRF"},
    {"sdrplay", "SDRplay"},
}};

} // namespace

std::string soapyLabel(const std::map<std::string, std::string>& kwargs)
{
    // A remote receiver names its own module under a prefixed key.
    const std::string remote = valueOf(kwargs, "remote");
    const std::string driver = valueOf(kwargs, remote.empty() ? "driver" : "remote:driver");
    const std::string serial = valueOf(kwargs, "serial");

    std::string name;
    for (const auto& [key, family] : kFamilies)
        if (driver == key)
            name = family;
    if (name.empty()) {
        // Modules label their units "PRODUCT :: SERIAL"; the serial is shown our way below.
        name = valueOf(kwargs, "label");
        if (const std::size_t cut = name.find(" :: "); cut != std::string::npos)
            name.erase(cut);
    }
    if (name.empty())
        name = driver.empty() ? "SoapySDR device" : driver;
    if (!serial.empty())
        name += " (SN " + serial + ")";
    if (!remote.empty()) {
        const std::size_t scheme = remote.find("://");
        name += " at " + (scheme == std::string::npos ? remote : remote.substr(scheme + 3));
    }
    return name;
}
