#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/NSColor.h"

namespace calyxware {

// A colour as an object of the keyed archive: its four sRGB components.
class ArchivedColor final : public platform::SecureCoded<ArchivedColor> {
public:
    static constexpr std::string_view className = "org.Calyxware.Color";

    explicit ArchivedColor(const platform::NSColor& color) : color_(color) {}

    const platform::NSColor& color() const { return color_; }

    void encode(platform::NSKeyedArchiver& coder) const override;
    static std::shared_ptr<ArchivedColor> initWithCoder(platform::NSKeyedUnarchiver& coder);

private:
    platform::NSColor color_;
};

void encodeColor(platform::NSKeyedArchiver& coder, const platform::NSColor& color,
                 std::string_view key);
// nullopt when the key is absent or holds no colour (the latter is a decoding failure).
std::optional<platform::NSColor> decodeColor(platform::NSKeyedUnarchiver& coder,
                                             std::string_view key);

}  // namespace calyxware
