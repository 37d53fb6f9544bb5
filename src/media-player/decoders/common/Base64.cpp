#include "media-player/decoders/common/Base64.h"

#include <array>

namespace quillon {

namespace {

constexpr std::uint8_t notADigit = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDigitTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(notADigit);
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t index = 0; index < alphabet.size(); ++index) {
        table[static_cast<unsigned char>(alphabet[index])] = static_cast<std::uint8_t>(index);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> digitValues = makeDigitTable();

}  // namespace

std::optional<std::vector<std::uint8_t>> decodeBase64IgnoringUnknownCharacters(
    std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t accumulator = 0;
    int digitCount = 0;
    for (char character : text) {
        if (character == '=') {
            break;
        }
        const std::uint8_t value = digitValues[static_cast<unsigned char>(character)];
        if (value == notADigit) {
            continue;
        }
        accumulator = (accumulator << 6) | value;
        if (++digitCount == 4) {
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> 16));
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> 8));
            bytes.push_back(static_cast<std::uint8_t>(accumulator));
            accumulator = 0;
            digitCount = 0;
        }
    }
    switch (digitCount) {
        case 0:
            break;
        case 2:
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> 4));
            break;
        case 3:
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> 10));
            bytes.push_back(static_cast<std::uint8_t>(accumulator >> 2));
            break;
        default:
            return std::nullopt;
    }
    return bytes;
}

}  // namespace quillon
