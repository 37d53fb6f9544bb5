#include <fmt/format.h>

#include "media-player/decoders/subtitles/ASSDecoder.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

ASSDecoder::DecodingError ASSDecoder::DecodingError::duplicateStyleName(std::string name) {
    return DecodingError(Kind::duplicateStyleName, std::move(name));
}

ASSDecoder::DecodingError ASSDecoder::DecodingError::invalidTextAlignmentValue(std::int32_t value) {
    return DecodingError(Kind::invalidTextAlignmentValue, {}, value);
}

const std::string& ASSDecoder::DecodingError::styleName() const {
    platform::precondition(kind_ == Kind::duplicateStyleName,
                           "Only duplicateStyleName carries a style name.");
    return name_;
}

std::int32_t ASSDecoder::DecodingError::alignmentValue() const {
    platform::precondition(kind_ == Kind::invalidTextAlignmentValue,
                           "Only invalidTextAlignmentValue carries an alignment value.");
    return value_;
}

std::string ASSDecoder::DecodingError::description() const {
    switch (kind_) {
        case Kind::duplicateStyleName:
            return fmt::format("duplicateStyleName(\"{}\")", name_);
        case Kind::invalidTextAlignmentValue:
            return fmt::format("invalidTextAlignmentValue({})", value_);
        case Kind::invalidASSHeaderBytes:
            return "invalidASSHeaderBytes";
        case Kind::invalidDialogBytes:
            return "invalidDialogBytes";
    }
    return "unknown";
}

std::shared_ptr<const platform::Error> ASSDecoder::DecodingError::clone() const {
    return std::make_shared<DecodingError>(*this);
}

}  // namespace quillon
