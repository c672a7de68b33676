#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The IQ sample formats a receiver may stream, by SoapySDR's names.
enum class WireFormat { CS16, CF32, CS8, CU8 };

// How the reading thread turns a receiver's stream into the analyser's 16-bit pairs, full scale
// kept: float 1.0, 8-bit 128 and the receiver's own 16-bit full scale all become 32768.
struct StreamFormat {
    WireFormat wire = WireFormat::CS16;
    // Left shift of 16-bit samples whose full scale is below 32768 (a 12-bit converter's 2048).
    int cs16Shift = 0;
};

std::size_t wireBytesPerPair(WireFormat format);
const char* wireName(WireFormat format);

// CS16 where the receiver offers it, else CF32, CS8, CU8; nothing when it offers none of them.
// The native format and its full scale tell how far a native CS16 stream has to be shifted.
std::optional<StreamFormat> chooseStreamFormat(const std::vector<std::string>& offered, const std::string& native,
                                               double nativeFullScale);

// Converts `pairs` interleaved I/Q pairs into 16-bit pairs; allocation-free. Floats beyond full
// scale clip, and fractions of the 16-bit step are dropped.
void convertToCs16(const StreamFormat& format, const void* in, int16_t* out, std::size_t pairs);
