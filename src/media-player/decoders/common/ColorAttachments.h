#pragma once

#include "platform/foundation/NeverDestroyed.h"

#include <optional>
#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFData.h"
#include "platform/corefoundation/CFDictionary.h"
#include "platform/corevideo/CVBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace quillon {

// Set to true in every colour attachment dictionary built here: a buffer that carries it
// (usually propagated from the decoder's pool) already has its colour attachments.
inline const std::string& kDidConfigureColorSpaceAttachmentKey =
    platform::neverDestroyedString("org.quillon.didConfigureColorSpace");
// Left by other producers; removed with the other colour keys so no stale guess survives.
inline const std::string& kColorInfoGuessedByAttachmentKey =
    platform::neverDestroyedString("ColorInfoGuessedBy");

// The colour attachments of a picture described by FFmpeg: primaries, transfer function (with
// its gamma level), matrix when it has a Core Video name, the colour space, its ICC profile when
// it has one, and the marker. The HDR combinations of BT.2020 or P3-D65 primaries with PQ or HLG
// take the embedded profiles' colour spaces. None when the primaries or the transfer function
// have no Core Video name, or no colour space results: the caller then uses the size defaults.
// The pixel format serves only to make the colour space.
std::optional<platform::CFDictionary> colorAttachments(AVColorPrimaries primaries,
                                                       AVColorTransferCharacteristic transfer,
                                                       AVColorSpace matrix,
                                                       platform::OSType pixelFormat);

// The attachments of a picture that carries its own ICC profile: the profile, its colour space
// and the marker; none when the bytes make no colour space.
std::optional<platform::CFDictionary> colorAttachments(const platform::CFDataRef& iccProfile);

// The preset for a picture that says nothing of its colour, chosen by its size (RGB pictures get
// sRGB): the preset's attachments plus the marker.
platform::CFDictionary defaultColorAttachments(std::size_t width, std::size_t height, bool isYCbCr);

// defaultColorAttachments for the buffer's size; its format counts as YCbCr unless its format
// description says otherwise.
platform::CFDictionary defaultColorAttachmentsForPixelBuffer(
    const platform::CVPixelBufferRef& pixelBuffer);

// Removes every colour attachment (colour space, ICC profile, matrix, primaries, transfer, gamma
// level, "ColorInfoGuessedBy") and sets the new ones, propagating.
void replaceColorAttachments(const platform::CVBufferRef& buffer,
                             const platform::CFDictionary& attachments);

// Gives a decoded picture's buffer its colour attachments: the frame's own ICC profile first;
// else nothing when the buffer already carries the marker; else the frame's colour description;
// else the size defaults.
void setColorAttachments(const AVFrame& frame, const platform::CVPixelBufferRef& pixelBuffer);

}  // namespace quillon
