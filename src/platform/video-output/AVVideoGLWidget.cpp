#include "platform/video-output/AVVideoGLWidget.h"

#include <QMetaObject>
#include <QOpenGLContext>
#include <cmath>
#include <string>

#include "platform/foundation/Log.h"

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif
#ifndef GL_CONTEXT_LOST
#define GL_CONTEXT_LOST 0x0507
#endif

namespace platform {

namespace {

constexpr const char* kVertexShader = R"(#version 130
in vec2 corner;
uniform vec2 origin;
uniform vec2 axisS;
uniform vec2 axisT;
out vec2 texCoord;
void main() {
    texCoord = corner;
    gl_Position = vec4(origin + corner.x * axisS + corner.y * axisT, 0.0, 1.0);
}
)";

// The linear-light part follows VideoColorMapping step for step: the tone curve on the largest
// component, the same gain on all three, the primaries' matrix, and the BT.1886 encoding.
constexpr const char* kFragmentShader = R"(#version 130
in vec2 texCoord;
out vec4 fragColor;
uniform sampler2D component0;
uniform sampler2D component1;
uniform sampler2D component2;
uniform vec4 select0;
uniform vec4 select1;
uniform vec4 select2;
uniform mat3 toRGB;
uniform vec3 rgbOffset;
uniform int transfer;
uniform bool tonesDown;
uniform float blackPQ;
uniform float rangePQ;
uniform float maxLum;
uniform float kneeStart;
uniform bool convertsPrimaries;
uniform mat3 primaries;
uniform float directBias;

const float sdrPeak = 203.0;
const float pqM1 = 2610.0 / 16384.0;
const float pqM2 = 2523.0 / 4096.0 * 128.0;
const float pqC1 = 3424.0 / 4096.0;
const float pqC2 = 2413.0 / 4096.0 * 32.0;
const float pqC3 = 2392.0 / 4096.0 * 32.0;

float pqToLuminance(float signal) {
    float p = pow(clamp(signal, 0.0, 1.0), 1.0 / pqM2);
    return 10000.0 * pow(max(p - pqC1, 0.0) / (pqC2 - pqC3 * p), 1.0 / pqM1);
}

float luminanceToPQ(float luminance) {
    float y = pow(clamp(luminance / 10000.0, 0.0, 1.0), pqM1);
    return pow((pqC1 + pqC2 * y) / (1.0 + pqC3 * y), pqM2);
}

float hlgToScene(float signal) {
    const float a = 0.17883277;
    const float b = 0.28466892;
    const float c = 0.55991073;
    return signal <= 0.5 ? signal * signal / 3.0 : (exp((signal - c) / a) + b) / 12.0;
}

float toneMap(float luminance) {
    float e1 = clamp((luminanceToPQ(luminance) - blackPQ) / rangePQ, 0.0, 1.0);
    float e2 = e1;
    if (e1 > kneeStart) {
        float t = (e1 - kneeStart) / (1.0 - kneeStart);
        float t2 = t * t;
        float t3 = t2 * t;
        e2 = (2.0 * t3 - 3.0 * t2 + 1.0) * kneeStart + (t3 - 2.0 * t2 + t) * (1.0 - kneeStart) +
             (-2.0 * t3 + 3.0 * t2) * maxLum;
    }
    return min(pqToLuminance(e2 * rangePQ + blackPQ), sdrPeak);
}

// In units of the SDR peak.
vec3 toLight(vec3 e) {
    if (transfer == 1) {
        return pow(e, vec3(2.4));
    }
    if (transfer == 2) {
        return vec3(pqToLuminance(e.r), pqToLuminance(e.g), pqToLuminance(e.b)) / sdrPeak;
    }
    vec3 scene = vec3(hlgToScene(e.r), hlgToScene(e.g), hlgToScene(e.b));
    return 1000.0 * pow(scene, vec3(1.2)) / sdrPeak;
}

void main() {
    vec3 components = vec3(dot(texture(component0, texCoord), select0),
                           dot(texture(component1, texCoord), select1),
                           dot(texture(component2, texCoord), select2));
    vec3 rgb = toRGB * components + rgbOffset;
    if (transfer == 0) {
        fragColor = vec4(clamp(rgb - directBias, 0.0, 1.0), 1.0);
        return;
    }
    // The raster path reads its curves from tables of 4096 steps; the same steps here keep both
    // paths together where the gamut matrix nearly cancels a component out.
    vec3 steps = min(floor(clamp(rgb, 0.0, 1.0) * (65535.0 / 16.0) + 0.5) / 4095.0, 1.0);
    vec3 light = toLight(steps);
    if (tonesDown) {
        float peak = max(max(light.r, light.g), light.b) * sdrPeak;
        if (peak > 0.0) {
            light *= toneMap(peak) / peak;
        }
    }
    if (convertsPrimaries) {
        light = primaries * light;
    }
    fragColor = vec4(pow(clamp(light, 0.0, 1.0), vec3(1.0 / 2.4)), 1.0);
}
)";

// Straight from R'G'B' to the screen, libswscale's fast rounding (which the raster path takes
// for speed) comes out about one code value below the exact conversion; the GL picture is made
// as dark, so that both paths show the same picture and a switch between them does not show.
constexpr float kDirectBias = 1.0F / 255;

struct TexelLayout {
    GLint internalFormat;
    GLenum format;
    GLenum type;
};

TexelLayout texelLayout(VideoGLPictureFormat::TexelFormat texelFormat) {
    using TexelFormat = VideoGLPictureFormat::TexelFormat;
    switch (texelFormat) {
        case TexelFormat::r8:
            return {GL_R8, GL_RED, GL_UNSIGNED_BYTE};
        case TexelFormat::rg8:
            return {GL_RG8, GL_RG, GL_UNSIGNED_BYTE};
        case TexelFormat::rgb8:
            return {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE};
        case TexelFormat::rgba8:
            return {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE};
        case TexelFormat::bgra8:
            return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE};
        case TexelFormat::r16:
            return {GL_R16, GL_RED, GL_UNSIGNED_SHORT};
        case TexelFormat::rg16:
            return {GL_RG16, GL_RG, GL_UNSIGNED_SHORT};
        case TexelFormat::rgba16:
            return {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT};
    }
    return {GL_R8, GL_RED, GL_UNSIGNED_BYTE};
}

class ReadLock {
public:
    explicit ReadLock(CVPixelBuffer& buffer)
        : buffer_(buffer),
          locked_(buffer.lockBaseAddress(kCVPixelBufferLock_ReadOnly) == kCVReturnSuccess) {}
    ~ReadLock() {
        if (locked_) {
            buffer_.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
        }
    }
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;

    bool locked() const { return locked_; }

private:
    CVPixelBuffer& buffer_;
    bool locked_;
};

}  // namespace

AVVideoGLWidget::AVVideoGLWidget(QWidget* parent) : QOpenGLWidget(parent), AVVideoOutput(this) {}

AVVideoGLWidget::~AVVideoGLWidget() {
    sink_->detach();
    makeCurrent();
    releaseResources();
    doneCurrent();
}

bool AVVideoGLWidget::currentPictureIsReady() const {
    return !failed_;
}

void AVVideoGLWidget::reportFailure(const std::string& reason) {
    if (failed_) {
        return;
    }
    failed_ = true;
    VideoOutputChoice::glDidFail(reason);
    if (failureHandler_) {
        QMetaObject::invokeMethod(
            this, [this, reason] { failureHandler_(reason); }, Qt::QueuedConnection);
    }
}

void AVVideoGLWidget::initializeGL() {
    QOpenGLContext* glContext = context();
    if (glContext == nullptr || !glContext->isValid()) {
        reportFailure("no OpenGL context");
        return;
    }
    initializeOpenGLFunctions();
    // The context goes when the widget moves to another window (Picture in Picture); the
    // textures and the program go with it and are made again in the next one.
    connect(glContext, &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        releaseResources();
        doneCurrent();
    });
    if (glContext->isOpenGLES() || glContext->format().majorVersion() < 3) {
        reportFailure("the context lacks OpenGL 3");
        return;
    }
    if (!buildProgram()) {
        return;
    }
    initialized_ = true;
}

bool AVVideoGLWidget::buildProgram() {
    program_ = std::make_unique<QOpenGLShaderProgram>();
    if (!program_->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
        !program_->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) ||
        !program_->link()) {
        reportFailure("the shaders did not build: " + program_->log().toStdString());
        program_.reset();
        return false;
    }
    vertexArray_.create();
    const QOpenGLVertexArrayObject::Binder binder(&vertexArray_);
    constexpr std::array<GLfloat, 8> kCorners = {0, 0, 1, 0, 0, 1, 1, 1};
    corners_.create();
    corners_.bind();
    corners_.allocate(kCorners.data(), static_cast<int>(sizeof kCorners));
    program_->bind();
    program_->enableAttributeArray("corner");
    program_->setAttributeBuffer("corner", GL_FLOAT, 0, 2);
    program_->setUniformValue("component0", 0);
    program_->setUniformValue("component1", 1);
    program_->setUniformValue("component2", 2);
    program_->release();
    corners_.release();
    return true;
}

void AVVideoGLWidget::releaseResources() {
    if (!initialized_ && !program_) {
        return;
    }
    for (PlaneTexture& texture : textures_) {
        if (texture.id != 0) {
            glDeleteTextures(1, &texture.id);
        }
        texture = {};
    }
    corners_.destroy();
    vertexArray_.destroy();
    program_.reset();
    uploadedFrame_ = nullptr;
    initialized_ = false;
}

void AVVideoGLWidget::resizeGL(int, int) {
    sink_->setView(size(), devicePixelRatioF());
}

bool AVVideoGLWidget::upload(CVPixelBuffer& buffer, const VideoGLPictureFormat& format) {
    ReadLock lock(buffer);
    if (!lock.locked()) {
        return false;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int index = 0; index < format.textureCount; ++index) {
        const VideoGLPictureFormat::Texture& shape = format.textures[index];
        PlaneTexture& texture = textures_[index];
        const TexelLayout layout = texelLayout(shape.texelFormat);
        glActiveTexture(GL_TEXTURE0 + index);
        if (texture.id == 0) {
            glGenTextures(1, &texture.id);
            glBindTexture(GL_TEXTURE_2D, texture.id);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        } else {
            glBindTexture(GL_TEXTURE_2D, texture.id);
        }
        // Storage is made only when the shape changes; every other frame reuses it.
        if (!texture.allocated || !(texture.shape == shape)) {
            glTexImage2D(GL_TEXTURE_2D, 0, layout.internalFormat, shape.width, shape.height, 0,
                         layout.format, layout.type, nullptr);
            texture.shape = shape;
            texture.allocated = true;
        }
        const std::uint8_t* base = buffer.baseAddressOfPlane(shape.plane);
        const std::size_t bytesPerRow = buffer.geometry().planes[shape.plane].bytesPerRow;
        const auto bytesPerTexel = static_cast<std::size_t>(shape.bytesPerTexel());
        if (bytesPerRow % bytesPerTexel == 0) {
            glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(bytesPerRow / bytesPerTexel));
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, shape.width, shape.height, layout.format,
                            layout.type, base);
        } else {
            // Rows that are no whole number of texels apart (24-bit RGB) go one by one.
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            for (int row = 0; row < shape.height; ++row) {
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, row, shape.width, 1, layout.format,
                                layout.type, base + static_cast<std::size_t>(row) * bytesPerRow);
            }
        }
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glActiveTexture(GL_TEXTURE0);
    return true;
}

void AVVideoGLWidget::setColorUniforms(const VideoGLPictureFormat& format,
                                       const VideoGLColorConversion& conversion) {
    static constexpr std::array<const char*, 3> kComponents = {"component0", "component1",
                                                               "component2"};
    static constexpr std::array<const char*, 3> kSelectors = {"select0", "select1", "select2"};
    for (int component = 0; component < 3; ++component) {
        program_->setUniformValue(kComponents[component], format.componentTexture[component]);
        const auto& select = format.componentSelector[component];
        program_->setUniformValue(kSelectors[component],
                                  QVector4D(select[0], select[1], select[2], select[3]));
    }
    program_->setUniformValue("toRGB", QMatrix3x3(conversion.toRGB.data()).transposed());
    program_->setUniformValue(
        "rgbOffset", QVector3D(conversion.offset[0], conversion.offset[1], conversion.offset[2]));
    program_->setUniformValue("transfer", conversion.transfer);
    program_->setUniformValue("directBias", kDirectBias);
    program_->setUniformValue("tonesDown", conversion.tonesDown);
    program_->setUniformValue("blackPQ", conversion.blackPQ);
    program_->setUniformValue("rangePQ", conversion.rangePQ);
    program_->setUniformValue("maxLum", conversion.maxLum);
    program_->setUniformValue("kneeStart", conversion.kneeStart);
    program_->setUniformValue("convertsPrimaries", conversion.convertsPrimaries);
    program_->setUniformValue("primaries", QMatrix3x3(conversion.primaries.data()).transposed());
}

void AVVideoGLWidget::setGeometryUniforms(const VideoPlacement& placement) {
    const double ratio = devicePixelRatioF();
    const double framebufferWidth = std::round(width() * ratio);
    const double framebufferHeight = std::round(height() * ratio);
    QPointF origin;
    QPointF axisS;
    QPointF axisT;
    const QPointF centre(width() / 2.0, height() / 2.0);
    if (placement.drawnTurned) {
        const QTransform& m = placement.turn;
        const double w = placement.logical.width();
        const double h = placement.logical.height();
        origin = (centre +
                  QPointF(-m.m11() * w / 2 - m.m21() * h / 2, -m.m12() * w / 2 - m.m22() * h / 2)) *
                 ratio;
        axisS = QPointF(m.m11() * w, m.m12() * w) * ratio;
        axisT = QPointF(m.m21() * h, m.m22() * h) * ratio;
    } else {
        // Placed on whole points, as the raster path places its picture.
        const QSize turned = placement.layout.turnedSize();
        const double left = std::round(centre.x() - turned.width() / ratio / 2) * ratio;
        const double top = std::round(centre.y() - turned.height() / ratio / 2) * ratio;
        const auto [a, b, c, d] = placement.layout.turn;
        const double w = turned.width();
        const double h = turned.height();
        origin = QPointF(left + w / 2 * (1 - a - c), top + h / 2 * (1 - b - d));
        axisS = QPointF(w * a, h * b);
        axisT = QPointF(w * c, h * d);
    }
    // Window pixels, y down, to normalised device coordinates, y up.
    const auto toDevice = [&](QPointF point) {
        return QVector2D(static_cast<float>(2 * point.x() / framebufferWidth - 1),
                         static_cast<float>(1 - 2 * point.y() / framebufferHeight));
    };
    const auto toDeviceAxis = [&](QPointF axis) {
        return QVector2D(static_cast<float>(2 * axis.x() / framebufferWidth),
                         static_cast<float>(-2 * axis.y() / framebufferHeight));
    };
    program_->setUniformValue("origin", toDevice(origin));
    program_->setUniformValue("axisS", toDeviceAxis(axisS));
    program_->setUniformValue("axisT", toDeviceAxis(axisT));
}

void AVVideoGLWidget::paintGL() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    paintedFrame_ = nullptr;
    if (failed_) {
        return;
    }
    if (!initialized_) {
        return;
    }
    const double ratio = devicePixelRatioF();
    sink_->setView(size(), ratio);
    const VideoViewSink::Snapshot current = sink_->snapshot();
    if (!current.frame) {
        return;
    }
    const VideoPlacement placement =
        placeVideoPicture(current.frame, current.geometry, size(), ratio);
    const CVPixelBufferRef pixels = CMSampleBufferGetImageBuffer(current.frame);
    if (!placement.valid || !pixels) {
        return;
    }
    const std::optional<VideoGLPictureFormat> format = VideoGLPictureFormat::of(*pixels);
    if (!format) {
        reportFailure("pictures of pixel format " + std::to_string(pixels->pixelFormatType()) +
                      " cannot be drawn");
        return;
    }
    if (current.frame != uploadedFrame_) {
        if (!upload(*pixels, *format)) {
            logWarning("Failed to upload a video frame for the video view.");
            return;
        }
        uploadedFrame_ = current.frame;
    }
    program_->bind();
    setColorUniforms(*format, VideoGLColorConversion::of(*pixels, *format));
    setGeometryUniforms(placement);
    for (int index = 0; index < format->textureCount; ++index) {
        glActiveTexture(GL_TEXTURE0 + index);
        glBindTexture(GL_TEXTURE_2D, textures_[index].id);
    }
    {
        const QOpenGLVertexArrayObject::Binder binder(&vertexArray_);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    program_->release();
    glActiveTexture(GL_TEXTURE0);
    const GLenum error = glGetError();
    if (error == GL_OUT_OF_MEMORY || error == GL_CONTEXT_LOST) {
        reportFailure("error " + std::to_string(error) + " while drawing");
        return;
    }
    sink_->didPaint(current.serial);
    paintedFrame_ = current.frame;
    paintedLayout_ = placement.layout;
}

}  // namespace platform
