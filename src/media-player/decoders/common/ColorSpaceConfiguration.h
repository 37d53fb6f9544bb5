#pragma once

#include <optional>
#include <string>

#include "platform/corefoundation/CFData.h"
#include "platform/corefoundation/CFDictionary.h"
#include "platform/graphics/CGColorSpace.h"

namespace quillon {

// A colour preset: a colour space with the Core Video constants (and, for the HDR presets, the
// ICC profile) that describe it. The presets are built once, on first use, and shared.
class ColorSpaceConfiguration {
public:
    // A preset described by Core Video constants: its colour space is the one that the
    // attachments {primaries, transfer function, matrix when given} describe; no ICC profile.
    ColorSpaceConfiguration(std::optional<std::string> yCbCrMatrix, std::string colorPrimaries,
                            std::string transferFunction);
    // A preset described by an ICC profile, which is its colour space and is kept with it.
    ColorSpaceConfiguration(platform::CFDataRef iccProfile, std::optional<std::string> yCbCrMatrix,
                            std::string colorPrimaries, std::string transferFunction);

    const platform::CGColorSpaceRef& colorSpace() const { return colorSpace_; }
    // Null when the preset has none.
    const platform::CFDataRef& iccProfile() const { return iccProfile_; }
    const std::optional<std::string>& yCbCrMatrix() const { return yCbCrMatrix_; }
    const std::string& colorPrimaries() const { return colorPrimaries_; }
    const std::string& transferFunction() const { return transferFunction_; }

    // kCVImageBufferCGColorSpaceKey, kCVImageBufferColorPrimariesKey and
    // kCVImageBufferTransferFunctionKey, plus kCVImageBufferICCProfileKey and
    // kCVImageBufferYCbCrMatrixKey when the preset has them.
    const platform::CFDictionary& attachments() const { return attachments_; }

    // Standard definition below 484 lines: BT.601 matrix, SMPTE C primaries, BT.709 transfer.
    static const ColorSpaceConfiguration& standardDefinitionSMPTEC();
    // Standard definition of 484 lines or more: the same with EBU 3213 primaries.
    static const ColorSpaceConfiguration& standardDefinitionEBU3213();
    // BT.709 throughout.
    static const ColorSpaceConfiguration& highDefinition();
    // BT.2020 throughout.
    static const ColorSpaceConfiguration& ultraHighDefinition();
    // RGB pictures: no matrix, P22 primaries, sRGB transfer.
    static const ColorSpaceConfiguration& rgb();
    // HDR, from the embedded ICC profiles.
    static const ColorSpaceConfiguration& bt2020PQ();
    static const ColorSpaceConfiguration& bt2020HLG();
    static const ColorSpaceConfiguration& p3D65PQ();
    static const ColorSpaceConfiguration& p3D65HLG();

private:
    platform::CGColorSpaceRef colorSpace_;
    platform::CFDataRef iccProfile_;
    std::optional<std::string> yCbCrMatrix_;
    std::string colorPrimaries_;
    std::string transferFunction_;
    platform::CFDictionary attachments_;

    void makeAttachments();
};

}  // namespace quillon
