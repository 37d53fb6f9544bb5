#include "platform/video-output/VideoOutputChoice.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

#include "platform/corevideo/VideoDisplayFormats.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

struct ChoiceState {
    std::mutex mutex;
    std::optional<VideoOutputPath> forced;
    std::optional<VideoOutputPath> decided;
    VideoOutputChoice::Probe probe;
    bool failureLogged = false;
};

ChoiceState& state() {
    static NeverDestroyed<ChoiceState> choice;
    return choice.get();
}

std::string glString(QOpenGLFunctions& functions, GLenum name) {
    const auto* text = reinterpret_cast<const char*>(functions.glGetString(name));
    return text != nullptr ? std::string(text) : std::string();
}

const char* nameOf(VideoOutputPath path) {
    return path == VideoOutputPath::openGL ? "OpenGL" : "raster";
}

}  // namespace

bool VideoOutputChoice::isSoftwareRenderer(const std::string& renderer) {
    std::string lower = renderer;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    constexpr std::array<const char*, 5> kSoftware = {"llvmpipe", "softpipe", "swrast", "software",
                                                      "swiftshader"};
    return std::any_of(kSoftware.begin(), kSoftware.end(), [&lower](const char* name) {
        return lower.find(name) != std::string::npos;
    });
}

VideoOutputPath VideoOutputChoice::choose(const GLContextReport& report, std::string* reason) {
    auto because = [reason](std::string text) {
        if (reason != nullptr) {
            *reason = std::move(text);
        }
    };
    if (!report.created) {
        because("no OpenGL context could be made");
        return VideoOutputPath::raster;
    }
    if (isSoftwareRenderer(report.renderer)) {
        because("the OpenGL renderer \"" + report.renderer + "\" is a software one");
        return VideoOutputPath::raster;
    }
    if (!report.capable) {
        because("the OpenGL context \"" + report.version + "\" of \"" + report.renderer +
                "\" lacks what the view needs");
        return VideoOutputPath::raster;
    }
    because("renderer \"" + report.renderer + "\", OpenGL " + report.version);
    return VideoOutputPath::openGL;
}

GLContextReport VideoOutputChoice::probeContext() {
    GLContextReport report;
    if (QGuiApplication::instance() == nullptr) {
        return report;
    }
    QOpenGLContext context;
    if (!context.create()) {
        return report;
    }
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) {
        return report;
    }
    report.created = true;
    QOpenGLFunctions* functions = context.functions();
    report.renderer = glString(*functions, GL_RENDERER);
    report.version = glString(*functions, GL_VERSION);
    report.capable = !context.isOpenGLES() && context.format().majorVersion() >= 3;
    context.doneCurrent();
    return report;
}

VideoOutputPath VideoOutputChoice::current() {
    ChoiceState& choice = state();
    Probe probe;
    {
        std::lock_guard lock(choice.mutex);
        if (choice.forced) {
            return *choice.forced;
        }
        if (choice.decided) {
            return *choice.decided;
        }
        probe = choice.probe;
    }
    // Probed outside the lock: making a context may take a while and call back into Qt.
    const GLContextReport report = probe ? probe() : probeContext();
    std::string reason;
    const VideoOutputPath path = choose(report, &reason);
    std::lock_guard lock(choice.mutex);
    if (!choice.decided) {
        choice.decided = path;
        setVideoDisplayDrawsBiPlanarFormats(path == VideoOutputPath::openGL);
        logDebug("Video output: {} ({}).", nameOf(path), reason);
    }
    return *choice.decided;
}

void VideoOutputChoice::force(std::optional<VideoOutputPath> path) {
    ChoiceState& choice = state();
    std::lock_guard lock(choice.mutex);
    choice.forced = path;
    choice.decided.reset();
    choice.failureLogged = false;
    setVideoDisplayDrawsBiPlanarFormats(path == VideoOutputPath::openGL);
}

void VideoOutputChoice::setProbe(Probe probe) {
    ChoiceState& choice = state();
    std::lock_guard lock(choice.mutex);
    choice.probe = std::move(probe);
    choice.decided.reset();
}

void VideoOutputChoice::glDidFail(const std::string& reason) {
    ChoiceState& choice = state();
    std::lock_guard lock(choice.mutex);
    if (!choice.forced) {
        choice.decided = VideoOutputPath::raster;
        setVideoDisplayDrawsBiPlanarFormats(false);
    }
    if (!choice.failureLogged) {
        choice.failureLogged = true;
        logWarning("Video output: OpenGL failed ({}); the raster path takes over.", reason);
    }
}

}  // namespace platform
