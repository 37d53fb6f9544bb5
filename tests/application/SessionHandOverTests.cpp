#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "application/MediaPlayerDocumentTestSupport.h"
#include "application/SessionInstance.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindowRestorationStore.h"
#include "player-interface/window/MediaPlayerWindow.h"
#include "support/ChildProcess.h"
#include "support/PrivateBus.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

// The desktop's activation, recorded: which window came forward with what from a launch.
class RecordingActivator final : public platform::WindowActivator {
public:
    struct Activation {
        QWidget* window;
        platform::LaunchActivation launch;
    };

    explicit RecordingActivator(std::vector<Activation>& record) : record_(record) {}
    void activate(QWidget& window, const platform::LaunchActivation& launch) override {
        desktop_.activate(window, launch);
        record_.push_back({&window, launch});
    }

private:
    platform::DesktopWindowActivator desktop_;
    std::vector<Activation>& record_;
};

// This process plays the session's running player (through the program's own start-up pieces:
// the session instance, the application object, the document controller); the real program is
// launched again beside it, as a file manager or a launcher would.
class SessionHandOverTest : public MediaPlayerDocumentTest {
protected:
    void SetUp() override {
        MediaPlayerDocumentTest::SetUp();
        // Each document plays through renderers of its own, as in the program.
        controller.setDocumentFactory(
            [](const std::string&) { return std::make_shared<MediaPlayerDocument>(); });
        ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
        std::filesystem::create_directories(home / "runtime");
        std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    }
    void TearDown() override {
        MediaPlayerDocumentTest::TearDown();
        QDBusConnection::disconnectFromBus(QStringLiteral("running-player"));
        std::filesystem::remove_all(home);
    }

    // The visible player windows of this process.
    static int playerWindowCount() {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (dynamic_cast<MediaPlayerWindow*>(widget) != nullptr && widget->isVisible()) {
                ++count;
            }
        }
        return count;
    }

    // Launches the program with `arguments` and serves it until it ends; its exit status.
    // `launcher` adds what a launcher puts in the environment.
    std::optional<int> launch(const std::vector<std::string>& arguments,
                              const std::vector<std::string>& launcher = {}) {
        const std::string name = "launch-" + std::to_string(launches++);
        auto environment = inheritedEnvironment();
        environment.insert(environment.end(), launcher.begin(), launcher.end());
        environment.insert(
            environment.end(),
            {"QT_QPA_PLATFORM=offscreen", "DBUS_SESSION_BUS_ADDRESS=" + bus.address(),
             "XDG_CONFIG_HOME=" + (home / name / "config").string(),
             "XDG_STATE_HOME=" + (home / name / "state").string(),
             "XDG_RUNTIME_DIR=" + (home / "runtime").string(), "HOME=" + (home / name).string()});
        ChildProcess child(QUILLON_PLAYER_PROGRAM, arguments, environment,
                           (home / (name + ".log")).string());
        EXPECT_TRUE(child.started());
        const auto status = child.waitForExit(60s, [] {
            platform::DispatchQueue::main().drain();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        });
        if (!status) {
            ADD_FAILURE() << "the launch did not end: " << child.standardError();
        }
        return status;
    }

    // Whether the launch called `name` left window state of its own.
    bool launchWroteWindowState(int launch) const {
        return std::filesystem::exists(home / ("launch-" + std::to_string(launch)) / "state" /
                                       "quillon-player" / "windows.cbor");
    }

    PrivateBus bus;
    std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("quillon-hand-over-" + std::to_string(getpid()));
    int launches = 0;
};

TEST_F(SessionHandOverTest, LaterLaunchesHandTheirFilesToTheRunningPlayerAndEnd) {
    platform::NSWindowRestorationStore store((home / "windows.cbor").string());
    platform::NSApplication application(*qobject_cast<QApplication*>(QCoreApplication::instance()),
                                        &controller, &store);
    SessionInstance running(
        QDBusConnection::connectToBus(bus.qAddress(), QStringLiteral("running-player")));
    ASSERT_EQ(running.claim({}), SessionInstance::Role::primary);
    std::vector<RecordingActivator::Activation> activations;
    application.setWindowActivator(std::make_unique<RecordingActivator>(activations));
    running.setHandlers(
        {[&](const platform::LaunchActivation& launch) { application.activate(launch); },
         [&](const std::vector<platform::URL>& urls, const platform::LaunchActivation& launch) {
             application.openURLs(urls, launch);
         }});
    ASSERT_TRUE(open("h264-aac.mkv"));
    ASSERT_TRUE(pumpUntil([] { return playerWindowCount() == 1; }));

    // Another file: a window of its own in the running player. The first window the request
    // brings forward (the file's progress window) comes with the launcher's token, once.
    auto status = launch({mediaPath("vp9-opus.webm")}, {"XDG_ACTIVATION_TOKEN=token-open"});
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    ASSERT_TRUE(pumpUntil([] { return playerWindowCount() == 2; }));
    EXPECT_EQ(
        std::count_if(activations.begin(), activations.end(),
                      [](const RecordingActivator::Activation& activation) {
                          return activation.launch == platform::LaunchActivation{"token-open", ""};
                      }),
        1);
    EXPECT_TRUE(application.pendingLaunchActivation().isEmpty());

    // The first file again, by another path (a symbolic link) and as a file URL: its window
    // comes forward, nothing new opens.
    const auto link = home / "same film.mkv";
    std::filesystem::create_symlink(mediaPath("h264-aac.mkv"), link);
    status = launch({platform::URL::fileURL(link.string()).absoluteString()});
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    ASSERT_TRUE(pumpUntil([&] { return running.handledRequestCount() == 2; }));
    EXPECT_EQ(playerWindowCount(), 2);
    EXPECT_EQ(controller.documents().size(), 2u);

    // Without files: the running player comes forward, with what the launcher handed over.
    const std::size_t activationsBefore = activations.size();
    status = launch({}, {"XDG_ACTIVATION_TOKEN=token-raise", "DESKTOP_STARTUP_ID=raise_TIME9"});
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    ASSERT_TRUE(pumpUntil([&] { return running.handledRequestCount() == 3; }));
    EXPECT_EQ(playerWindowCount(), 2);
    ASSERT_EQ(activations.size(), activationsBefore + 1);
    EXPECT_NE(dynamic_cast<MediaPlayerWindow*>(activations.back().window), nullptr);
    EXPECT_EQ(activations.back().launch,
              (platform::LaunchActivation{"token-raise", "raise_TIME9"}));
    EXPECT_TRUE(application.pendingLaunchActivation().isEmpty());

    // Only the running player keeps the windows' state.
    for (int each = 0; each < launches; ++each) {
        EXPECT_FALSE(launchWroteWindowState(each)) << "launch " << each;
    }
}

}  // namespace
}  // namespace quillon::test
