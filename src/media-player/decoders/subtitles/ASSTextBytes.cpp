#include "media-player/decoders/subtitles/ASSTextBytes.h"

#include <memory>

#include <fmt/format.h>
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

namespace quillon {

namespace {

constexpr std::size_t maximumLength = 64 * 1024 * 1024;

bool isWellFormedUTF8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const auto length = static_cast<std::int32_t>(bytes.size());
    std::int32_t offset = 0;
    while (offset < length) {
        UChar32 codePoint = 0;
        U8_NEXT(data, offset, length, codePoint);
        if (codePoint < 0) {
            return false;
        }
    }
    return true;
}

struct DetectorDeleter {
    void operator()(UCharsetDetector* detector) const { ucsdet_close(detector); }
};
struct ConverterDeleter {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};

// Converts with the named encoding, failing on any byte sequence the encoding does not define.
std::optional<std::string> convertToUTF8(std::string_view bytes, const char* encoding) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterDeleter> converter(ucnv_open(encoding, &status));
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::u16string utf16(bytes.size() * 2 + 2, u'\0');
    std::int32_t length =
        ucnv_toUChars(converter.get(), utf16.data(), static_cast<std::int32_t>(utf16.size()),
                      bytes.data(), static_cast<std::int32_t>(bytes.size()), &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::int32_t utf8Length = 0;
    status = U_ZERO_ERROR;
    u_strToUTF8(nullptr, 0, &utf8Length, utf16.data(), length, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(utf8.data(), utf8Length, nullptr, utf16.data(), length, &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    return utf8;
}

}  // namespace

std::optional<std::string> assTextFromBytes(std::string_view bytes) {
    // ICU counts in 32-bit lengths, and a subtitle's run of text is never anywhere near this.
    if (bytes.size() > maximumLength) {
        return std::nullopt;
    }
    if (isWellFormedUTF8(bytes)) {
        return std::string(bytes);
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCharsetDetector, DetectorDeleter> detector(ucsdet_open(&status));
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    ucsdet_setText(detector.get(), bytes.data(), static_cast<std::int32_t>(bytes.size()), &status);
    std::int32_t matchCount = 0;
    const UCharsetMatch** matches = ucsdet_detectAll(detector.get(), &matchCount, &status);
    if (U_FAILURE(status) || !matches) {
        return std::nullopt;
    }
    // The likeliest encoding that reads every byte.
    for (std::int32_t i = 0; i < matchCount; ++i) {
        UErrorCode nameStatus = U_ZERO_ERROR;
        const char* name = ucsdet_getName(matches[i], &nameStatus);
        if (U_FAILURE(nameStatus) || !name) {
            continue;
        }
        if (auto text = convertToUTF8(bytes, name)) {
            return text;
        }
    }
    return std::nullopt;
}

std::string assBytesDescription(std::string_view bytes) {
    std::string description = "<";
    for (char byte : bytes) {
        description += fmt::format("{:02x}", static_cast<unsigned char>(byte));
    }
    description += ">";
    return description;
}

}  // namespace quillon
