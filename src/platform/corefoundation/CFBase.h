#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Status codes and four-character codes of the platform's C interfaces.
using OSStatus = std::int32_t;
using OSType = std::uint32_t;
using FourCharCode = std::uint32_t;

inline constexpr OSStatus noErr = 0;

// 'BGRA' → the 32-bit code of those four characters, first character in the most significant byte.
constexpr FourCharCode fourCharCode(const char (&text)[5]) {
    return (static_cast<FourCharCode>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<FourCharCode>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<FourCharCode>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<FourCharCode>(static_cast<unsigned char>(text[3]));
}

// The code as text when all four bytes are printable ("BGRA"), else its decimal number ("32").
std::string fourCharCodeString(FourCharCode code);

}  // namespace platform
