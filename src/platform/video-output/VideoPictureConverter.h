#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/video-output/VideoColorMapping.h"

struct AVFrame;
struct SwsContext;

namespace platform {

// Turns decoded pictures into 32-bit BGRA pictures for the screen, scaled to the size they are
// shown at. SDR BT.709 pictures go straight from their code values to the screen's (libswscale's
// fast rounding: at most a code value from the exact conversion); HDR and wide-gamut pictures go
// through linear light (VideoColorMapping). Large pictures are converted by several threads.
// Every buffer and table is kept from one picture to the next while the sizes and colours stay;
// one converter serves one thread at a time.
class VideoPictureConverter {
public:
    VideoPictureConverter();
    ~VideoPictureConverter();
    VideoPictureConverter(const VideoPictureConverter&) = delete;
    VideoPictureConverter& operator=(const VideoPictureConverter&) = delete;

    // Into `width` × `height` pixels at `destination`, rows `bytesPerRow` apart. False when the
    // source's format cannot be read or its memory not locked.
    bool convert(CVPixelBuffer& source, std::uint8_t* destination, int width, int height,
                 int bytesPerRow);

private:
    struct Key {
        int sourceFormat = -1;
        int sourceWidth = 0;
        int sourceHeight = 0;
        int destinationFormat = -1;
        int width = 0;
        int height = 0;
        int colorspace = 0;
        int range = 0;

        friend bool operator==(const Key&, const Key&) = default;
    };

    bool prepareContext(const Key& key);
    // P010's interleaved chroma into `chroma_`, as the Cb and Cr planes of the source frame.
    void splitChroma(CVPixelBuffer& source);
    void mapRows(std::uint8_t* destination, int width, int height, int bytesPerRow);

    SwsContext* context_ = nullptr;
    Key key_;
    AVFrame* sourceFrame_;
    AVFrame* destinationFrame_;
    // Planar 16-bit G', B' and R' at the shown size, for the linear-light path.
    std::vector<std::uint16_t> intermediate_;
    // The Cb and Cr planes of a P010 source, one after the other.
    std::vector<std::uint16_t> chroma_;
    std::unique_ptr<VideoColorMapping> mapping_;
};

}  // namespace platform
