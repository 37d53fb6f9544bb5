#include <QApplication>
#include <QDBusConnection>
#include <QStringList>
#include <string>
#include <vector>

#include "application/AppDelegate.h"
#include "application/ApplicationTranslations.h"
#include "application/LogindWorkspaceNotifier.h"
#include "application/PlayerWindowRaising.h"
#include "application/QLDocumentController.h"
#include "application/SessionInstance.h"
#include "media-player/NowPlayingManager.h"
#include "media-player/renderers/QLAudioSpatializationInterposition.h"
#include "platform/appkit/DesktopAccessibilityDisplayOptions.h"
#include "platform/appkit/NSApplication.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/URL.h"
#include "platform/mediaplayer/MPRISNowPlayingInfoCenter.h"
#include "platform/video-output/VideoOutputChoice.h"

namespace {

// The option of the bus's service file: the bus started the player for a request that follows.
constexpr const char* kServiceOption = "--dbus-service";
// Picks how video is drawn instead of leaving it to what the GL context reports: "opengl" or
// "raster". For checks by hand and for benchmarks.
constexpr const char* kVideoOutputOption = "--video-output=";

}  // namespace

// The player: one process per desktop session. Every file named on the command line opens in its
// own window of that process; without one, the windows of the last run come back, or the Open
// panel asks for a file. A later launch hands its files to the running process and ends.
int main(int argc, char* argv[]) {
    quillon::QLInterposeAudioSpatializationOnce();

    QApplication qtApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillon-player"));
    QApplication::setDesktopFileName(QStringLiteral("org.quillon.player"));
    platform::setMainBundleDisplayName("Quillon Player");
    const quillon::ApplicationTranslations translations;

    // Qt has taken its own options out of the arguments; the rest name files.
    std::vector<std::string> arguments;
    bool startedByBus = false;
    const QStringList qtArguments = QApplication::arguments();
    for (qsizetype i = 1; i < qtArguments.size(); ++i) {
        if (i == 1 && qtArguments[i] == QLatin1String(kServiceOption)) {
            startedByBus = true;
            continue;
        }
        if (qtArguments[i].startsWith(QLatin1String(kVideoOutputOption))) {
            const QString path = qtArguments[i].mid(QLatin1String(kVideoOutputOption).size());
            if (path == QLatin1String("opengl")) {
                platform::VideoOutputChoice::force(platform::VideoOutputPath::openGL);
            } else if (path == QLatin1String("raster")) {
                platform::VideoOutputChoice::force(platform::VideoOutputPath::raster);
            }
            continue;
        }
        arguments.push_back(qtArguments[i].toStdString());
    }
    std::vector<platform::URL> urls = quillon::SessionInstance::urlsFromArguments(arguments);

    quillon::SessionInstance instance(QDBusConnection::sessionBus());
    const auto role = instance.claim(urls, quillon::SessionInstance::launchPlatformData());
    if (role == quillon::SessionInstance::Role::handedOver) {
        return 0;
    }

    quillon::QLDocumentController& documentController = quillon::QLDocumentController::makeShared();
    platform::NSApplication application(qtApplication, &documentController);
    quillon::AppDelegate delegate;
    // Players pause before the machine sleeps and when the session is locked or left.
    const quillon::LogindWorkspaceNotifier workspaceNotifier;
    // The scrubber draws with more contrast while the desktop asks for it.
    const platform::DesktopAccessibilityDisplayOptions accessibilityDisplayOptions(
        QDBusConnection::sessionBus());
    application.setDelegate(&delegate);
    application.setMainMenu(delegate.makeMainMenu());
    // The windows' state belongs to the session's instance, which may just not answer.
    application.setRestoresWindows(role != quillon::SessionInstance::Role::independent);
    application.setOpensUntitledFileAtLaunch(!startedByBus);
    application.setURLsToOpenAtLaunch(std::move(urls));
    instance.setHandlers(
        {[&application](const platform::LaunchActivation& launch) { application.activate(launch); },
         [&application](const std::vector<platform::URL>& handedOver,
                        const platform::LaunchActivation& launch) {
             application.openURLs(handedOver, launch);
         }});
    platform::MPRISNowPlayingInfoCenter::setRaiseHandler([&application, &documentController] {
        quillon::raiseWindowOfPlayer(quillon::NowPlayingManager::shared()->currentMediaPlayer(),
                                     documentController, application);
    });

    const int exitCode = application.run();
    platform::MPRISNowPlayingInfoCenter::setRaiseHandler(nullptr);
    application.setDelegate(nullptr);
    return exitCode;
}
