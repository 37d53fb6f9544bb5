#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

// How video views put their pictures on screen: through OpenGL (the picture's planes uploaded
// and converted by shaders), or through the raster path (pictures converted on the CPU and
// painted by QPainter).
enum class VideoOutputPath { openGL, raster };

// What a GL context told about itself. `created` is false when no context could be made.
struct GLContextReport {
    bool created = false;
    std::string renderer;
    std::string version;
    // Whether it offers what the GL view needs (desktop OpenGL 3.0 or later).
    bool capable = false;
};

// Decides once per process which path the video views take, and says so in one line of the
// log. GL is taken where a capable context with a hardware renderer exists; a software renderer
// (llvmpipe, softpipe, swrast) draws slower than the raster path converts, so it counts as none.
// The program and tests can force either path; a forced path is taken without probing.
class VideoOutputChoice {
public:
    using Probe = std::function<GLContextReport()>;

    // The path of this process. The first call (on the GUI thread, with a QGuiApplication) probes
    // a context unless a path was forced, and logs the choice.
    static VideoOutputPath current();
    // What a context's report chooses, and why, in words.
    static VideoOutputPath choose(const GLContextReport& report, std::string* reason = nullptr);
    // Whether a renderer string names a software rasterizer.
    static bool isSoftwareRenderer(const std::string& renderer);
    // Makes an offscreen context and reads its renderer and version strings.
    static GLContextReport probeContext();

    // From now on `path` (none: decide again from a probe at the next call of current()).
    static void force(std::optional<VideoOutputPath> path);
    // The probe that current() runs (none: probeContext). For tests.
    static void setProbe(Probe probe);
    // A GL view failed at run time: later views take the raster path. Logged once.
    static void glDidFail(const std::string& reason);
};

// Forces a path for its lifetime, then lets the next view decide afresh.
class ScopedVideoOutputPath {
public:
    explicit ScopedVideoOutputPath(VideoOutputPath path) { VideoOutputChoice::force(path); }
    ~ScopedVideoOutputPath() { VideoOutputChoice::force(std::nullopt); }
    ScopedVideoOutputPath(const ScopedVideoOutputPath&) = delete;
    ScopedVideoOutputPath& operator=(const ScopedVideoOutputPath&) = delete;
};

}  // namespace platform
