#include "libraries/calyxware/ArchivedColor.h"

#include "libraries/calyxware/CodingSupport.h"

namespace calyxware {

namespace {

constexpr std::string_view kRedKey = "red";
constexpr std::string_view kGreenKey = "green";
constexpr std::string_view kBlueKey = "blue";
constexpr std::string_view kAlphaKey = "alpha";

}  // namespace

void ArchivedColor::encode(platform::NSKeyedArchiver& coder) const {
    coder.encodeDouble(color_.redComponent(), kRedKey);
    coder.encodeDouble(color_.greenComponent(), kGreenKey);
    coder.encodeDouble(color_.blueComponent(), kBlueKey);
    coder.encodeDouble(color_.alphaComponent(), kAlphaKey);
}

std::shared_ptr<ArchivedColor> ArchivedColor::initWithCoder(platform::NSKeyedUnarchiver& coder) {
    if (!coder.containsValue(kAlphaKey)) {
        failCorruptArchive(coder, "a colour without components");
        return nullptr;
    }
    return std::make_shared<ArchivedColor>(platform::NSColor::colorWithSRGBRed(
        coder.decodeDouble(kRedKey), coder.decodeDouble(kGreenKey), coder.decodeDouble(kBlueKey),
        coder.decodeDouble(kAlphaKey)));
}

void encodeColor(platform::NSKeyedArchiver& coder, const platform::NSColor& color,
                 std::string_view key) {
    coder.encodeObject(ArchivedColor(color), key);
}

std::optional<platform::NSColor> decodeColor(platform::NSKeyedUnarchiver& coder,
                                             std::string_view key) {
    if (!coder.containsValue(key)) {
        return std::nullopt;
    }
    auto archived = coder.decodeObjectOfClass<ArchivedColor>(key);
    if (!archived) {
        return std::nullopt;
    }
    return archived->color();
}

}  // namespace calyxware
