#include <QApplication>
#include <QStringList>
#include <filesystem>
#include <vector>

#include "application/AppDelegate.h"
#include "application/LogindWorkspaceNotifier.h"
#include "application/QLDocumentController.h"
#include "media-player/QLAudioSpatializationInterposition.h"
#include "platform/appkit/NSApplication.h"
#include "platform/foundation/URL.h"

// The player: every file named on the command line opens in its own window; without one, the
// windows of the last run come back, or the Open panel asks for a file.
int main(int argc, char* argv[]) {
    quillon::QLInterposeAudioSpatializationOnce();

    QApplication qtApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillon-player"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon Player"));
    QApplication::setDesktopFileName(QStringLiteral("org.quillon.player"));

    quillon::QLDocumentController& documentController = quillon::QLDocumentController::makeShared();
    platform::NSApplication application(qtApplication, &documentController);
    quillon::AppDelegate delegate;
    // Players pause before the machine sleeps and when the session is locked or left.
    const quillon::LogindWorkspaceNotifier workspaceNotifier;
    application.setDelegate(&delegate);
    application.setMainMenu(delegate.makeMainMenu());

    // Qt has taken its own options out of the arguments; the rest name files.
    std::vector<platform::URL> urls;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const std::filesystem::path path = arguments[i].toStdString();
        urls.push_back(platform::URL::fileURL(std::filesystem::absolute(path).string()));
    }
    application.setURLsToOpenAtLaunch(std::move(urls));

    const int exitCode = application.run();
    application.setDelegate(nullptr);
    return exitCode;
}
