#pragma once

#include "platform/corefoundation/CFBase.h"

namespace platform {

inline constexpr OSStatus kVTPropertyNotSupportedErr = -12900;
inline constexpr OSStatus kVTPropertyReadOnlyErr = -12901;
inline constexpr OSStatus kVTParameterErr = -12902;
inline constexpr OSStatus kVTInvalidSessionErr = -12903;
inline constexpr OSStatus kVTAllocationFailedErr = -12904;
inline constexpr OSStatus kVTPixelTransferNotSupportedErr = -12905;
inline constexpr OSStatus kVTCouldNotFindVideoDecoderErr = -12906;
inline constexpr OSStatus kVTCouldNotCreateInstanceErr = -12907;
inline constexpr OSStatus kVTVideoDecoderBadDataErr = -12909;
inline constexpr OSStatus kVTVideoDecoderUnsupportedDataFormatErr = -12910;
inline constexpr OSStatus kVTVideoDecoderMalfunctionErr = -12911;

}  // namespace platform
