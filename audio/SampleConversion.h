#pragma once

#include "audio/AsioDriverInterface.h"

#include <cstddef>

// Bytes one sample of an ASIO sample type takes in a driver buffer; 0 for a type the backend
// does not play.
int asioBytesPerSample(ASIOSampleType type);

// Writes n float samples into out in the given sample type (n × asioBytesPerSample bytes).
// Integer types clamp to [-1, 1] and scale in single precision, truncating toward zero; float
// types copy. A NaN sample becomes silence. A type the backend does not play writes nothing.
void convertToAsio(const float* in, std::size_t n, ASIOSampleType type, void* out);
