#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/NSAttributedString.h"

namespace calyxware {

// An attributed string as an object of the keyed archive: the UTF-16 text as bytes (so that
// even an unpaired surrogate survives) and one object per attribute run, each naming its
// attributes with their values written by kind. Decoding checks every run against the text.
class ArchivedAttributedString final : public platform::SecureCoded<ArchivedAttributedString> {
public:
    static constexpr std::string_view className = "org.Calyxware.AttributedString";

    explicit ArchivedAttributedString(platform::NSAttributedString string)
        : string_(std::move(string)) {}

    const platform::NSAttributedString& string() const { return string_; }

    void encode(platform::NSKeyedArchiver& coder) const override;
    static std::shared_ptr<ArchivedAttributedString> initWithCoder(
        platform::NSKeyedUnarchiver& coder);

private:
    platform::NSAttributedString string_;
};

void encodeAttributedString(platform::NSKeyedArchiver& coder,
                            const platform::NSAttributedString& string, std::string_view key);
// nullopt when the key is absent or its value cannot be decoded (the latter is a failure).
std::optional<platform::NSAttributedString> decodeAttributedString(
    platform::NSKeyedUnarchiver& coder, std::string_view key);

}  // namespace calyxware
