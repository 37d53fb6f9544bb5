#pragma once

#include <optional>
#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace quillon {

// FFmpeg's colour description of a picture in Core Video's attachment values.

// kCVImageBufferColorPrimaries_… for the primaries; none for those Core Video cannot name
// (unspecified, reserved, BT.470 M, film, SMPTE ST 428).
std::optional<std::string> coreVideoColorPrimaries(AVColorPrimaries primaries);

// A transfer function, with its gamma level when it is kCVImageBufferTransferFunction_UseGamma.
struct CoreVideoTransferFunction {
    std::string transferFunction;
    std::optional<double> gammaLevel;

    friend bool operator==(const CoreVideoTransferFunction&,
                           const CoreVideoTransferFunction&) = default;
};

// None for the characteristics Core Video cannot name (unspecified, reserved, logarithmic,
// BT.1361).
std::optional<CoreVideoTransferFunction> coreVideoTransferFunction(
    AVColorTransferCharacteristic transfer);

// kCVImageBufferYCbCrMatrix_… for the matrix; none for the others (RGB, FCC, YCgCo, ICtCp…),
// which leave the matrix out without making the description unusable.
std::optional<std::string> coreVideoYCbCrMatrix(AVColorSpace matrix);

}  // namespace quillon
