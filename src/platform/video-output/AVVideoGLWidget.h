#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLVertexArrayObject>
#include <QOpenGLWidget>

#include "platform/video-output/AVVideoOutput.h"
#include "platform/video-output/VideoGLPictureFormat.h"
#include "platform/video-output/VideoViewSink.h"

namespace platform {

// The OpenGL path: shows a display layer's pictures by uploading each frame's planes into
// textures that live as long as the frames keep their format and size, and converting, scaling
// (bilinear), turning and tone-mapping them in shaders as the raster path does on the CPU. The
// frames themselves are handed over: there is nothing to prepare ahead, the paint uploads and
// draws.
//
// A failure of the context (none could be made, the shaders do not build, the context is lost,
// a frame's format cannot be drawn) is reported once through the failure handler, posted to the
// widget's thread; the owner then puts a raster view in its place.
class AVVideoGLWidget : public QOpenGLWidget, public AVVideoOutput, protected QOpenGLFunctions {
public:
    using FailureHandler = std::function<void(const std::string& reason)>;

    explicit AVVideoGLWidget(QWidget* parent = nullptr);
    ~AVVideoGLWidget() override;

    QWidget* widget() override { return this; }
    VideoOutputPath path() const override { return VideoOutputPath::openGL; }
    bool currentPictureIsReady() const override;

    void setFailureHandler(FailureHandler handler) { failureHandler_ = std::move(handler); }
    // Whether the widget gave up drawing.
    bool hasFailed() const { return failed_; }
    // Gives up drawing: logged, and the failure handler runs once the current event is done.
    void reportFailure(const std::string& reason);

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;

private:
    struct PlaneTexture {
        GLuint id = 0;
        VideoGLPictureFormat::Texture shape;
        bool allocated = false;
    };

    bool buildProgram();
    void releaseResources();
    bool upload(CVPixelBuffer& buffer, const VideoGLPictureFormat& format);
    void setColorUniforms(const VideoGLPictureFormat& format,
                          const VideoGLColorConversion& conversion);
    void setGeometryUniforms(const VideoPlacement& placement);

    FailureHandler failureHandler_;
    bool failed_ = false;
    bool initialized_ = false;
    std::unique_ptr<QOpenGLShaderProgram> program_;
    QOpenGLBuffer corners_{QOpenGLBuffer::VertexBuffer};
    QOpenGLVertexArrayObject vertexArray_;
    std::array<PlaneTexture, 3> textures_{};
    // The frame whose planes the textures hold.
    CMSampleBufferRef uploadedFrame_;
};

}  // namespace platform
