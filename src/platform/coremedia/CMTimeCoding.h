#pragma once

#include <string_view>

#include "platform/coremedia/CMTime.h"

namespace platform {

class NSKeyedArchiver;
class NSKeyedUnarchiver;

// Keyed coding of times and 32-bit floats. A time is kept as its four fields, so that every kind
// (numeric, infinite, indefinite, invalid) and every timescale reads back exactly; a float is
// kept as a double, which holds each float exactly.
void encodeCMTime(NSKeyedArchiver& coder, CMTime time, std::string_view key);
// kCMTimeInvalid when the key is missing or holds no time.
CMTime decodeCMTime(NSKeyedUnarchiver& coder, std::string_view key);

void encodeFloat(NSKeyedArchiver& coder, float value, std::string_view key);
// 0 when the key is missing.
float decodeFloat(NSKeyedUnarchiver& coder, std::string_view key);

}  // namespace platform
