#include "OffscreenApplication.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QGuiApplication>

#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "platform/foundation/NeverDestroyed.h"

// fontconfig keeps a cache for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace quillon::fuzzing {

void startOffscreenApplication(const char* programName) {
    av_log_set_level(AV_LOG_QUIET);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(programName), nullptr};
    // It lives for the process: the style manager's queue may still ask for fonts at exit.
    static platform::NeverDestroyed<QGuiApplication> application(argc, argv);

    // Build the user's subtitle style before any input runs: the first build is not announced,
    // and once this returns no background queue is left working on it.
    (void)SubtitleTextStyleManager::shared()->userSpecifiedStyle();
}

}  // namespace quillon::fuzzing
