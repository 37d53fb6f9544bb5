#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/corefoundation/CFData.h"
#include "platform/corefoundation/CFObject.h"

namespace platform {

enum class CGColorSpaceModel {
    kCGColorSpaceModelUnknown = -1,
    kCGColorSpaceModelMonochrome = 0,
    kCGColorSpaceModelRGB = 1,
    kCGColorSpaceModelCMYK = 2,
    kCGColorSpaceModelLab = 3,
};
using enum CGColorSpaceModel;

// Names of the standard colour spaces.
inline const std::string kCGColorSpaceSRGB = "kCGColorSpaceSRGB";
inline const std::string kCGColorSpaceLinearSRGB = "kCGColorSpaceLinearSRGB";
inline const std::string kCGColorSpaceExtendedSRGB = "kCGColorSpaceExtendedSRGB";
inline const std::string kCGColorSpaceGenericRGB = "kCGColorSpaceGenericRGB";
inline const std::string kCGColorSpaceGenericRGBLinear = "kCGColorSpaceGenericRGBLinear";
inline const std::string kCGColorSpaceGenericGray = "kCGColorSpaceGenericGray";
inline const std::string kCGColorSpaceGenericGrayGamma2_2 = "kCGColorSpaceGenericGrayGamma2_2";
inline const std::string kCGColorSpaceDisplayP3 = "kCGColorSpaceDisplayP3";
inline const std::string kCGColorSpaceDCIP3 = "kCGColorSpaceDCIP3";
inline const std::string kCGColorSpaceITUR_709 = "kCGColorSpaceITUR_709";
inline const std::string kCGColorSpaceITUR_2020 = "kCGColorSpaceITUR_2020";
inline const std::string kCGColorSpaceITUR_2100_PQ = "kCGColorSpaceITUR_2100_PQ";
inline const std::string kCGColorSpaceITUR_2100_HLG = "kCGColorSpaceITUR_2100_HLG";
inline const std::string kCGColorSpaceDisplayP3_PQ = "kCGColorSpaceDisplayP3_PQ";
inline const std::string kCGColorSpaceDisplayP3_HLG = "kCGColorSpaceDisplayP3_HLG";

// The colour description of a video picture that a colour space was made from: the names of its
// primaries, transfer function and (for YCbCr pictures) matrix, as the video attachments spell
// them.
struct CGColorSpaceVideoParameters {
    std::string colorPrimaries;
    std::string transferFunction;
    std::optional<std::string> yCbCrMatrix;
    std::optional<double> gammaLevel;

    friend bool operator==(const CGColorSpaceVideoParameters&,
                           const CGColorSpaceVideoParameters&) = default;
};

// A colour space: a standard one by name, one described by an ICC profile, or one made from a
// video picture's colour parameters. Immutable; equal when made from the same description.
class CGColorSpace final : public CFObject {
public:
    struct Description {
        CGColorSpaceModel model = kCGColorSpaceModelUnknown;
        std::optional<std::string> name;
        CFDataRef iccData;
        std::optional<CGColorSpaceVideoParameters> videoParameters;
    };

    explicit CGColorSpace(Description description) : description_(std::move(description)) {}

    CGColorSpaceModel model() const { return description_.model; }
    const std::optional<std::string>& name() const { return description_.name; }
    const CFDataRef& iccData() const { return description_.iccData; }
    const std::optional<CGColorSpaceVideoParameters>& videoParameters() const {
        return description_.videoParameters;
    }
    std::size_t numberOfComponents() const;

    bool isEqual(const CFObject& other) const override;
    std::string description() const override;

private:
    Description description_;
};

using CGColorSpaceRef = std::shared_ptr<const CGColorSpace>;

// Null for a name that is not one of the standard spaces above.
CGColorSpaceRef CGColorSpaceCreateWithName(const std::string& name);
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
// Null unless the data is an ICC profile: a header whose size field is the data's size and
// which carries the profile signature 'acsp'.
CGColorSpaceRef CGColorSpaceCreateWithICCData(const CFDataRef& data);
CGColorSpaceRef CGColorSpaceCreateWithVideoParameters(CGColorSpaceVideoParameters parameters);

// The ICC profile a space was made from; null for the others.
CFDataRef CGColorSpaceCopyICCData(const CGColorSpaceRef& space);
std::optional<std::string> CGColorSpaceGetName(const CGColorSpaceRef& space);
CGColorSpaceModel CGColorSpaceGetModel(const CGColorSpaceRef& space);
std::size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space);
bool CGColorSpaceEqualToColorSpace(const CGColorSpaceRef& a, const CGColorSpaceRef& b);

}  // namespace platform
