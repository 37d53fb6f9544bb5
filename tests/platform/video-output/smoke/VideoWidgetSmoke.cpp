// Plays the first second of a video file into an AVVideoWidget on screen, then saves the widget
// to a PNG and checks that it shows a picture. Usage: video_widget_smoke MEDIA-FILE OUTPUT-PNG
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/coremedia/CMVideoFormatDescription.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/video-output/AVVideoWidget.h"

using namespace platform;

namespace {

CMSampleBufferRef sampleBufferFromFrame(const AVFrame& frame, CMTime time, CMTime duration) {
    CVPixelBufferRef pixelBuffer;
    if (CVPixelBufferCreate(
            static_cast<std::size_t>(frame.width), static_cast<std::size_t>(frame.height),
            kCVPixelFormatType_420YpCbCr8Planar, nullptr, &pixelBuffer) != kCVReturnSuccess) {
        return nullptr;
    }
    CVPixelBufferLockBaseAddress(pixelBuffer, 0);
    for (std::size_t plane = 0; plane < 3; ++plane) {
        auto* destination =
            static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixelBuffer, plane));
        const std::size_t rowBytes = CVPixelBufferGetWidthOfPlane(pixelBuffer, plane);
        for (std::size_t row = 0; row < CVPixelBufferGetHeightOfPlane(pixelBuffer, plane); ++row) {
            std::memcpy(destination + row * CVPixelBufferGetBytesPerRowOfPlane(pixelBuffer, plane),
                        frame.data[plane] + row * static_cast<std::size_t>(frame.linesize[plane]),
                        rowBytes);
        }
    }
    CVPixelBufferUnlockBaseAddress(pixelBuffer, 0);
    CVBufferSetAttachment(pixelBuffer, kCVImageBufferYCbCrMatrixKey,
                          kCVImageBufferYCbCrMatrix_ITU_R_709_2, kCVAttachmentMode_ShouldPropagate);
    CMVideoFormatDescriptionRef description;
    CMVideoFormatDescriptionCreateForImageBuffer(pixelBuffer, &description);
    const CMSampleTimingInfo timing{duration, time, kCMTimeInvalid};
    CMSampleBufferRef sampleBuffer;
    CMSampleBufferCreateReadyWithImageBuffer(pixelBuffer, description, &timing, &sampleBuffer);
    return sampleBuffer;
}

// The first `count` frames of the file's first video stream, as 4:2:0 sample buffers.
std::vector<CMSampleBufferRef> decodeFrames(const char* path, int count) {
    std::vector<CMSampleBufferRef> frames;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path, nullptr, nullptr) < 0) {
        return frames;
    }
    avformat_find_stream_info(format, nullptr);
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (stream < 0) {
        avformat_close_input(&format);
        return frames;
    }
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, format->streams[stream]->codecpar);
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVRational rate = format->streams[stream]->avg_frame_rate;
    auto receive = [&] {
        while (static_cast<int>(frames.size()) < count &&
               avcodec_receive_frame(context, frame) == 0) {
            if (frame->format == AV_PIX_FMT_YUV420P) {
                const auto n = static_cast<std::int64_t>(frames.size());
                frames.push_back(sampleBufferFromFrame(*frame, CMTimeMake(n * rate.den, rate.num),
                                                       CMTimeMake(rate.den, rate.num)));
            }
            av_frame_unref(frame);
        }
    };
    while (static_cast<int>(frames.size()) < count && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) {
            avcodec_send_packet(context, packet);
            receive();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return frames;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: video_widget_smoke MEDIA-FILE OUTPUT-PNG\n");
        return 2;
    }
    QApplication application(argc, argv);
    const auto frames = decodeFrames(argv[1], 25);
    if (frames.size() != 25) {
        std::fprintf(stderr, "decoded %zu frames of %s\n", frames.size(), argv[1]);
        return 1;
    }

    AVVideoWidget widget;
    widget.resize(320, 240);
    widget.setWindowTitle("Video widget smoke test");
    widget.show();

    auto synchronizer = std::make_shared<AVSampleBufferRenderSynchronizer>();
    auto layer = std::make_shared<AVSampleBufferDisplayLayer>(32, 16);
    layer->setVideoSink(widget.sink());
    synchronizer->addRenderer(layer);
    for (const auto& frame : frames) {
        layer->enqueueSampleBuffer(frame);
    }
    synchronizer->setRate(1, kCMTimeZero);

    int status = 1;
    QTimer::singleShot(700, [&] {
        const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
        image.save(QString::fromLocal8Bit(argv[2]));
        // testsrc2 is colourful: a picture shows many distinct colours, a black widget one.
        int lit = 0;
        for (int y = 0; y < image.height(); y += 4) {
            for (int x = 0; x < image.width(); x += 4) {
                const QColor colour = image.pixelColor(x, y);
                lit += colour.red() + colour.green() + colour.blue() > 60 ? 1 : 0;
            }
        }
        const CMTime shown = CMSampleBufferGetPresentationTimeStamp(widget.lastPaintedFrame());
        std::printf("painted frame at %.3f s, %d of %d samples lit\n", CMTimeGetSeconds(shown), lit,
                    (image.width() / 4) * (image.height() / 4));
        status = widget.lastPaintedFrame() && CMTimeGetSeconds(shown) > 0.3 && lit > 100 ? 0 : 1;
        application.quit();
    });
    application.exec();
    synchronizer->removeRenderer(layer, kCMTimeInvalid, nullptr);
    return status;
}
