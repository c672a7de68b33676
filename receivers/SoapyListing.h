#pragma once

#include <map>
#include <string>

// What the device list shows for a receiver SoapySDR found: the family's usual name (or the
// module's own label), its serial number and, for a receiver across the network, the server,
// e.g. "RTL-SDR (SN 00000001)" or "HackRF (SN 0000000000000000457863c82b3f381f) at 10.0.0.7:55132".
std::string soapyLabel(const std::map<std::string, std::string>& kwargs);
