#pragma once

#include <optional>
#include <string>

#include "platform/corevideo/CVPixelBuffer.h"

namespace platform {

// How libswscale reads and writes our pixel buffers.

// The FFmpeg pixel format (an AVPixelFormat) whose memory matches the Core Video format exactly;
// none for the formats that libswscale has no layout for.
std::optional<int> swscalePixelFormat(OSType pixelFormat);
// 1 for full range (JPEG), 0 for video range (MPEG). Formats without a range (RGB, grey) use
// every code value.
int swscaleRange(const CVPixelBuffer& buffer);
// The SWS_CS_ value of a kCVImageBufferYCbCrMatrixKey value; none for one libswscale lacks.
std::optional<int> swscaleColorspaceOfMatrix(const std::string& matrix);
// The buffer's matrix attachment, else chosen by picture size: BT.709 from 720 rows or 1280
// columns on, BT.601 below.
int swscaleColorspace(const CVPixelBuffer& buffer);
// Only the buffer's matrix attachment.
std::optional<int> swscaleAttachedColorspace(const CVPixelBuffer& buffer);

}  // namespace platform
