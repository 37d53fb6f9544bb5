// quillon-probe [FILE]: a developer's look at a media file through the player's own media source
// and decoders. Without a file it probes a generated demo clip.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>

#include <fmt/format.h>

#include <QGuiApplication>

extern "C" {
#include <libavutil/log.h>
}

#include "DemoClip.h"
#include "MediaProbe.h"
#include "media-player/media-source/MediaSourceLoadError.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

namespace {

int run(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (std::string_view(argv[1]) == "-h" ||
                                   std::string_view(argv[1]) == "--help"))) {
        fmt::print(stderr, "usage: quillon-probe [FILE]\n");
        return argc > 2 ? 2 : 0;
    }
    av_log_set_level(AV_LOG_WARNING);
    // Formatted subtitles look up fonts, which needs a GUI application; no window is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);

    const std::filesystem::path path =
        argc == 2 ? std::filesystem::path(argv[1]) : quillon::probe::ensureDemoClip();

    quillon::probe::MediaProbe probe(path);
    fmt::print("{}", probe.describeSource());
    std::fflush(stdout);
    fmt::print("{}", probe.describeFirstFrames());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const quillon::MediaSourceLoadError& error) {
        std::fflush(stdout);
        platform::logError("quillon-probe: {}", quillon::detailedDescription(error));
    } catch (const platform::Error& error) {
        std::fflush(stdout);
        platform::logError("quillon-probe: {}", error.localizedDescription());
    } catch (const std::exception& error) {
        std::fflush(stdout);
        platform::logError("quillon-probe: {}", error.what());
    }
    return 1;
}
