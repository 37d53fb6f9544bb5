#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "application/SessionInstance.h"
#include "support/ChildProcess.h"
#include "support/FakeDesktop.h"
#include "support/PrivateBus.h"
#include "support/PrivateDisplay.h"
#include "support/PrivateWaylandDisplay.h"
#include "support/TestMedia.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;

// Waits, polling, until `condition` holds; false after `timeout`.
bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds timeout = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// The names of the windows on `display`, as the window system keeps them (WM_NAME).
std::vector<std::string> windowNames(const std::string& display) {
    const std::string command = "DISPLAY=" + display + " xwininfo -root -tree 2>/dev/null";
    std::vector<std::string> names;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return names;
    }
    std::array<char, 4096> line{};
    while (std::fgets(line.data(), line.size(), pipe) != nullptr) {
        // `   0x400007 "name": ("class" "Class")  640x360+0+0  +0+0`
        const std::string text = line.data();
        const auto open = text.find(" \"");
        const auto close = text.find("\": (");
        if (open != std::string::npos && close != std::string::npos && close > open) {
            names.push_back(text.substr(open + 2, close - open - 2));
        }
    }
    ::pclose(pipe);
    return names;
}

// The documented switch for the player's whole log on the terminal.
constexpr const char* kFullLog = "QT_LOGGING_RULES=quillon.*.debug=true";

// The lines of a run's standard error.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(QUILLON_PLAYER_PROGRAM))
            << QUILLON_PLAYER_PROGRAM << " is missing: build the quillon-player target";
        ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
        std::filesystem::create_directories(home / "runtime");
        std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    }
    void TearDown() override { std::filesystem::remove_all(home); }

    std::vector<std::string> environment(const std::vector<std::string>& extra) const {
        auto environment = inheritedEnvironment();
        environment.insert(environment.end(), {"DBUS_SESSION_BUS_ADDRESS=" + bus.address(),
                                               "XDG_CONFIG_HOME=" + (home / "config").string(),
                                               "XDG_STATE_HOME=" + (home / "state").string(),
                                               "XDG_RUNTIME_DIR=" + (home / "runtime").string(),
                                               "HOME=" + home.string(), "LANG=C.UTF-8"});
        environment.insert(environment.end(), extra.begin(), extra.end());
        return environment;
    }

    // For a player that the session quits with a document open: such a quit leaves the open
    // windows to the end of the process (their documents are kept for the next launch), which
    // the leak check would count.
    std::vector<std::string> sessionQuitEnvironment(
        const std::vector<std::string>& extra, const std::string& sanitizerOptions = "") const {
        auto environment = this->environment(extra);
        for (std::string& entry : environment) {
            if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
                entry += sanitizerOptions + ":detect_leaks=0";
            }
        }
        return environment;
    }

    bool wroteWindowState() const {
        return std::filesystem::exists(home / "state" / "quillon-player" / "windows.cbor");
    }

    std::filesystem::path settingsPath() const {
        return home / "config" / "quillon-player" / "quillon-player.conf";
    }
    // The user's preferences as a person would type them into the file.
    void writeSettings(const std::string& lines) const {
        std::filesystem::create_directories(settingsPath().parent_path());
        std::ofstream(settingsPath()) << "[General]\n" << lines;
    }
    std::string settings() const {
        std::ifstream file(settingsPath());
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // What the player publishes of its playback on the session bus, as the desktop reads it;
    // empty until it does.
    QString publishedPlaybackStatus() const {
        const QString connectionName = QStringLiteral("now-playing-reader");
        QString status;
        {
            QDBusConnection reader = QDBusConnection::connectToBus(bus.qAddress(), connectionName);
            QDBusMessage get = QDBusMessage::createMethodCall(
                QStringLiteral("org.mpris.MediaPlayer2.quillon"),
                QStringLiteral("/org/mpris/MediaPlayer2"),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get << QStringLiteral("org.mpris.MediaPlayer2.Player")
                << QStringLiteral("PlaybackStatus");
            const QDBusMessage reply = reader.call(get, QDBus::Block, 5000);
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                status = reply.arguments().front().value<QDBusVariant>().variant().toString();
            }
        }
        QDBusConnection::disconnectFromBus(connectionName);
        return status;
    }

    // Asks the player to pause, as the desktop's media keys do; whether it answered.
    bool askToPause() const {
        const QString connectionName = QStringLiteral("media-keys");
        bool answered = false;
        {
            QDBusConnection keys = QDBusConnection::connectToBus(bus.qAddress(), connectionName);
            const QDBusMessage pause = QDBusMessage::createMethodCall(
                QStringLiteral("org.mpris.MediaPlayer2.quillon"),
                QStringLiteral("/org/mpris/MediaPlayer2"),
                QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Pause"));
            answered = keys.call(pause, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
        }
        QDBusConnection::disconnectFromBus(connectionName);
        return answered;
    }

    // Asks the player to quit as the session does; its exit status.
    static std::optional<int> quit(ChildProcess& player) {
        ::kill(player.pid(), SIGTERM);
        return player.waitForExit(60s);
    }

    PrivateBus bus;
    std::filesystem::path home = std::filesystem::temp_directory_path() /
                                 ("quillon-player-program-" + std::to_string(getpid()));
};

TEST_F(ProgramTest, OpensAFileInAWindowTitledWithItsNameAndQuitsWhenTheSessionAsks) {
    PrivateDisplay display;
    ASSERT_FALSE(display.display().empty()) << "Xvfb did not start";
    const auto film = home / "Opening Night.mkv";
    std::filesystem::create_symlink(mediaPath("h264-aac.mkv"), film);

    // libxkbcommon's keymap set-up hands strndup a length past its string's end, which the
    // sanitizer's strict string checks report although strndup stops at the terminator.
    // A temporary folder of its own, to see what a launch leaves behind there.
    const auto temporary = home / "tmp";
    std::filesystem::create_directories(temporary);
    auto xcbEnvironment = sessionQuitEnvironment(
        {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display.display(), "TMPDIR=" + temporary.string()},
        ":strict_string_checks=0");
    ChildProcess player(QUILLON_PLAYER_PROGRAM, {film.string()}, xcbEnvironment,
                        (home / "player.log").string());
    ASSERT_TRUE(player.started());
    // The window system shows the title exactly: no application name added to it.
    const bool titled = waitUntil([&] {
        for (const auto& name : windowNames(display.display())) {
            if (name == "Opening Night.mkv") {
                return true;
            }
        }
        return false;
    });
    const auto names = windowNames(display.display());
    std::ostringstream shown;
    for (const auto& name : names) {
        shown << " \"" << name << "\"";
        EXPECT_EQ(name.find("Quillon Player"), std::string::npos) << name;
    }
    EXPECT_TRUE(titled) << "windows:" << shown.str() << "\n" << player.standardError();
    ASSERT_TRUE(waitUntil([&] { return player.catchesSignal(SIGTERM); }));

    const auto status = quit(player);
    ASSERT_TRUE(status.has_value()) << "the player did not quit";
    EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    // Quitting writes the window restoration state, and takes away what the run kept in the
    // temporary folder.
    EXPECT_TRUE(wroteWindowState());
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(temporary)) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{});
}

TEST_F(ProgramTest, UnderAWaylandCompositorItTitlesItsWindowPlaysAndKeepsTheDisplayAwake) {
    PrivateWaylandDisplay compositor;
    if (compositor.socket().empty()) {
        GTEST_SKIP() << compositor.whyNot();
    }
    // The desktop's portal, which is how a Wayland session keeps its display awake.
    ServedFakeDesktop desktop(bus.qAddress());
    ASSERT_TRUE(desktop.isServing());
    ASSERT_TRUE(desktop.offer("org.freedesktop.portal.Desktop"));
    writeSettings("QPPlayAutomaticallyOnOpen=true\n");
    const auto film = home / "Opening Night.mkv";
    std::filesystem::create_symlink(mediaPath("h264-aac.mkv"), film);

    auto waylandEnvironment = compositor.clientEnvironment();
    // The client's half of the protocol on standard error: what the compositor is told.
    waylandEnvironment.push_back("WAYLAND_DEBUG=client");
    // As under X11, the keyboard library's counted strndup copies trip the strict checks.
    ChildProcess player(QUILLON_PLAYER_PROGRAM, {film.string()},
                        sessionQuitEnvironment(waylandEnvironment, ":strict_string_checks=0"),
                        (home / "player.log").string());
    ASSERT_TRUE(player.started());
    const auto said = [&](const std::string& part) {
        return player.standardError().find(part) != std::string::npos;
    };
    EXPECT_TRUE(waitUntil([&] { return said(".set_title(\"Opening Night.mkv\")"); }))
        << player.standardError().substr(0, 20000);
    EXPECT_FALSE(said("Quillon Player\")")) << "the application's name in a title";
    EXPECT_TRUE(waitUntil([&] { return publishedPlaybackStatus() == "Playing"; }))
        << player.standardError().substr(0, 20000);

    const auto portalCalls = [&](const std::string& member) {
        std::vector<FakeDesktop::Call> found;
        for (const auto& call : desktop.desktop().calls()) {
            if (call.member == member) {
                found.push_back(call);
            }
        }
        return found;
    };
    ASSERT_TRUE(waitUntil([&] { return !portalCalls("Inhibit").empty(); }));
    const auto inhibit = portalCalls("Inhibit").front();
    EXPECT_EQ(inhibit.path, FakeDesktop::kPortalPath.toStdString());
    EXPECT_EQ(inhibit.arguments.value(1).toUInt(), 8u) << "the idle flag";
    EXPECT_EQ(qdbus_cast<QVariantMap>(inhibit.arguments.value(2))
                  .value(QStringLiteral("reason"))
                  .toString(),
              QStringLiteral("Quillon Player started playing media."));
    // Pausing lets the display sleep again: the portal's request is closed.
    ASSERT_TRUE(askToPause());
    EXPECT_TRUE(waitUntil([&] {
        const auto closes = portalCalls("Close");
        return closes.size() == 1 && closes.front().path == FakeDesktop::kRequestPath.toStdString();
    }));

    ASSERT_TRUE(waitUntil([&] { return player.catchesSignal(SIGTERM); }));
    const auto status = quit(player);
    ASSERT_TRUE(status.has_value()) << "the player did not quit";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << "ended by signal " << WTERMSIG(*status);
    EXPECT_TRUE(wroteWindowState());
}

// Swallows every call: the session's player that hangs.
class SilentObject final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

TEST_F(ProgramTest, ALaunchWhoseRunningPlayerHangsRunsOnItsOwnAndLeavesTheWindowStateAlone) {
    // What waits for the end of window restoration, which such a launch skips.
    writeSettings("QPPlayAutomaticallyOnOpen=true\nQPDefaultPlaybackRate=1.5\n");
    // Never pumped while the launch waits: the call it makes goes unanswered.
    const QString name = QStringLiteral("hanging-player");
    {
        QDBusConnection owner = QDBusConnection::connectToBus(bus.qAddress(), name);
        SilentObject object;
        ASSERT_TRUE(owner.registerVirtualObject(QString::fromLatin1(SessionInstance::kObjectPath),
                                                &object));
        ASSERT_TRUE(owner.registerService(QString::fromLatin1(SessionInstance::kBusName)));

        ChildProcess player(QUILLON_PLAYER_PROGRAM, {mediaPath("h264-aac.mkv")},
                            sessionQuitEnvironment({"QT_QPA_PLATFORM=offscreen", kFullLog}),
                            (home / "player.log").string());
        ASSERT_TRUE(player.started());
        EXPECT_TRUE(waitUntil([&] {
            return player.standardError().find("did not answer within 2000 ms") !=
                   std::string::npos;
        })) << player.standardError();
        // The file plays at once, at the default rate, and the desktop hears of it.
        EXPECT_TRUE(waitUntil([&] {
            return player.standardError().find("Setting synchronizer rate to 1.5.\n") !=
                   std::string::npos;
        })) << player.standardError();
        EXPECT_TRUE(waitUntil([&] { return publishedPlaybackStatus() == "Playing"; }))
            << publishedPlaybackStatus().toStdString();
        ASSERT_TRUE(waitUntil([&] { return player.catchesSignal(SIGTERM); }));
        const auto status = quit(player);
        ASSERT_TRUE(status.has_value()) << "the player did not quit";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
        EXPECT_FALSE(wroteWindowState());
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST_F(ProgramTest, ADefaultRateThatIsNoNumberGivesWayToTheRegisteredOneOnceAndForAll) {
    writeSettings("QPPlayAutomaticallyOnOpen=true\nQPDefaultPlaybackRate=nan\n");
    const std::string ignored = "Ignoring the user default QPDefaultPlaybackRate (nan)";
    const auto count = [](const std::string& text, const std::string& part) {
        std::size_t found = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++found;
        }
        return found;
    };

    ChildProcess player(QUILLON_PLAYER_PROGRAM, {mediaPath("h264-aac.mkv")},
                        sessionQuitEnvironment({"QT_QPA_PLATFORM=offscreen", kFullLog}),
                        (home / "player.log").string());
    ASSERT_TRUE(player.started());
    // It plays, at the registered rate.
    EXPECT_TRUE(waitUntil([&] {
        const std::string log = player.standardError();
        return log.find("Setting synchronizer rate to 1.\n") != std::string::npos ||
               log.find("Fatal error: ") != std::string::npos;
    }));
    ASSERT_EQ(player.standardError().find("Fatal error: "), std::string::npos)
        << player.standardError();
    EXPECT_TRUE(waitUntil([&] { return publishedPlaybackStatus() == "Playing"; }))
        << player.standardError();
    ASSERT_TRUE(waitUntil([&] { return player.catchesSignal(SIGTERM); })) << player.standardError();
    const auto status = quit(player);
    ASSERT_TRUE(status.has_value()) << "the player did not quit";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << "ended by signal " << WTERMSIG(*status) << "\n"
        << player.standardError();
    EXPECT_EQ(count(player.standardError(), ignored), 1u) << player.standardError();
    // The next launch finds the registered rate and nothing to say.
    EXPECT_EQ(settings().find("QPDefaultPlaybackRate"), std::string::npos) << settings();
    EXPECT_NE(settings().find("QPPlayAutomaticallyOnOpen=true"), std::string::npos) << settings();
}

// A clean film with its subtitle file beside it, and fonts attached as styled releases carry
// them, played from a terminal: the terminal hears of nothing that went wrong, as nothing did;
// the full log, one switch away, has the trace in the system's own words.
TEST_F(ProgramTest, ACleanFilmPlaysQuietlyAndTheFullLogSwitchShowsTheTrace) {
    writeSettings("QPPlayAutomaticallyOnOpen=true\n");
    const auto fonts = home / "fonts";
    std::filesystem::create_directories(fonts);
    std::filesystem::copy_file(mediaPath("attached-font-serif.ttf"), fonts / "Title.ttf",
                               std::filesystem::copy_options::overwrite_existing);
    const auto film = home / "Clean Film.mkv";
    const std::string merge = "mkvmerge --quiet -o '" + film.string() +
                              "' --attachment-mime-type font/ttf --attach-file '" +
                              (fonts / "Title.ttf").string() + "' '" + mediaPath("h264-aac.mkv") +
                              "'";
    ASSERT_EQ(std::system(merge.c_str()), 0) << merge << " (mkvmerge comes with mkvtoolnix)";
    std::ofstream(home / "Clean Film.srt") << "1\n00:00:01,000 --> 00:00:02,000\nHello.\n";

    // Quits once the desktop hears that the film plays and the log holds each of `awaited`:
    // "Playing" is published as soon as the player wants to play, before its clock runs.
    const auto play = [&](const std::vector<std::string>& extra,
                          const std::vector<std::string>& awaited) {
        // Each run opens the film afresh, not the paused window the last one left.
        std::filesystem::remove_all(home / "state");
        std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen"};
        environment.insert(environment.end(), extra.begin(), extra.end());
        ChildProcess player(QUILLON_PLAYER_PROGRAM, {film.string()},
                            sessionQuitEnvironment(environment), (home / "player.log").string());
        EXPECT_TRUE(player.started());
        EXPECT_TRUE(waitUntil([&] { return publishedPlaybackStatus() == "Playing"; }))
            << player.standardError();
        for (const std::string& line : awaited) {
            EXPECT_TRUE(waitUntil([&] {
                return player.standardError().find(line) != std::string::npos;
            })) << line
                << " never came:\n"
                << player.standardError();
        }
        EXPECT_TRUE(waitUntil([&] { return player.catchesSignal(SIGTERM); }));
        const auto status = quit(player);
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
            << player.standardError();
        return player.standardError();
    };

    const std::string quiet = play({}, {});
    for (const std::string& line : linesOf(quiet)) {
        EXPECT_FALSE(line.starts_with("Failed") || line.starts_with("In ")) << line;
        EXPECT_FALSE(line.starts_with("[ffmpeg")) << line;
        for (const char* trace : {"Setting synchronizer rate to", "Synchronizer rate did change",
                                  "audio routing", "Video output: ", "Presented "}) {
            EXPECT_EQ(line.find(trace), std::string::npos) << line;
        }
    }

    // What the film logs while it plays, down to its clock running at the rate.
    const std::string full =
        play({kFullLog}, {"Requesting audio routing ownership.", "Video output: ",
                          "Failed to use private API: ", "Could not find codec parameters",
                          "Setting synchronizer rate to 1.\n"});
    const auto lines = linesOf(full);
    const auto has = [&](const std::string& prefix, const std::string& suffix) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(prefix) != std::string::npos && line.ends_with(suffix);
        });
    };
    EXPECT_TRUE(has(">: Setting synchronizer rate to 1.", "rate to 1.")) << full;
    EXPECT_TRUE(has("Requesting audio routing ownership.", "ownership.")) << full;
    EXPECT_TRUE(has("Releasing audio routing ownership.", "ownership.")) << full;
    EXPECT_TRUE(has("Video output: ", ").")) << full;
    EXPECT_TRUE(has("Clean Film.mkv: Presented ", " unpainted.")) << full;
    EXPECT_TRUE(has("Failed to use private API: Error Domain=", "}.")) << full;
    EXPECT_TRUE(
        has("Could not find codec parameters for stream 2 (Attachment: none)", "unknown codec"))
        << full;
    // The subtitle file is sought to its start without a failure, even in the full log.
    EXPECT_EQ(full.find("Numerical result out of range"), std::string::npos) << full;
}

}  // namespace
}  // namespace quillon::test
