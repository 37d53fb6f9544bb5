#include "OffscreenApplication.h"

#include <chrono>

extern "C" {
#include <libavutil/log.h>
}

#include <QGuiApplication>

#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/NotificationCenter.h"

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
    new QGuiApplication(argc, argv);

    // The style manager builds its first style and announces it from background queues. Let that
    // settle before any input runs, so that a short run (replaying one input) does not end while
    // those queues still work: what they touch may already be destroyed at exit.
    platform::DispatchSemaphore announced(0);
    platform::ObserverToken observation = platform::NotificationCenter::defaultCenter().addObserver(
        SubtitleTextStyleManagerUserSpecifiedTextStyleDidChangeNotification, nullptr,
        [&announced](const platform::Notification&) { announced.signal(); });
    (void)SubtitleTextStyleManager::shared()->userSpecifiedStyle();
    (void)announced.wait(std::chrono::seconds(5));
}

}  // namespace quillon::fuzzing
