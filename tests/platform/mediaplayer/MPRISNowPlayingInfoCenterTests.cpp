#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QUrl>

#include "platform/mediaplayer/MPRISNowPlayingInfoCenter.h"
// The bus needs a Qt application object.
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {
namespace {

using namespace platform;

// A private session bus for one test; stopped when the test ends.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address")});
        if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(5000)) {
            address_ = daemon_.readLine().trimmed().toStdString();
        }
    }
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    const std::string& address() const { return address_; }

private:
    QProcess daemon_;
    std::string address_;
};

class Client {
public:
    explicit Client(const std::string& address)
        : connection_(QDBusConnection::connectToBus(QString::fromStdString(address),
                                                    QStringLiteral("mpris-test-client"))) {}
    ~Client() { QDBusConnection::disconnectFromBus(QStringLiteral("mpris-test-client")); }

    QDBusMessage call(const QString& interface, const QString& method, QVariantList arguments) {
        auto message = QDBusMessage::createMethodCall(
            QString::fromLatin1(MPRISNowPlayingInfoCenter::busNamePrefix),
            QString::fromLatin1(MPRISNowPlayingInfoCenter::objectPath), interface, method);
        message.setArguments(arguments);
        return connection_.call(message, QDBus::Block, 5000);
    }
    QVariant property(const QString& name) {
        const auto reply =
            call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QStringLiteral("org.mpris.MediaPlayer2.Player"), name});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QDBusMessage player(const QString& method, QVariantList arguments = {}) {
        return call(QStringLiteral("org.mpris.MediaPlayer2.Player"), method, arguments);
    }

private:
    QDBusConnection connection_;
};

QVariantMap demarshalled(const QVariant& value) {
    return qdbus_cast<QVariantMap>(value);
}

TEST(MPRISNowPlayingInfoCenterTest, PublishesOnTheBusAndDispatchesItsCalls) {
#if defined(__SANITIZE_THREAD__)
    // QtDBus and libdbus hand messages between their threads with locks that are not built for
    // ThreadSanitizer, which then reports every hand-over; our side is covered by the manager's
    // tests, which use the same command and information centres without a bus.
    GTEST_SKIP() << "the D-Bus libraries are not instrumented";
#endif
    PrivateBus bus;
    if (bus.address().empty()) {
        GTEST_SKIP() << "no dbus-daemon to start";
    }
    MPRemoteCommandCenter commands;
    for (auto* command : commands.allCommands()) {
        command->setEnabled(false);
    }
    auto center = MPRISNowPlayingInfoCenter::make(commands, bus.address());
    ASSERT_TRUE(center);
    EXPECT_EQ(center->busName(), MPRISNowPlayingInfoCenter::busNamePrefix);
    Client client(bus.address());
    EXPECT_EQ(client.property(QStringLiteral("PlaybackStatus")).toString(), "Stopped");
    EXPECT_FALSE(client.property(QStringLiteral("CanPlay")).toBool());

    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    center->setNowPlayingInfo(MPNowPlayingInfo{
        {MPNowPlayingInfoPropertyExternalContentIdentifier, std::string("AB-12")},
        {MPMediaItemPropertyTitle, std::string("A title")},
        {MPMediaItemPropertyArtist, std::string("An artist")},
        {MPMediaItemPropertyPlaybackDuration, 2.5},
        {MPNowPlayingInfoPropertyElapsedPlaybackTime, 1.0},
        {MPNowPlayingInfoPropertyPlaybackRate, 0.0},
        {MPMediaItemPropertyArtwork, std::make_shared<const MPMediaItemArtwork>(
                                         CGSize{4, 3}, [picture](CGSize) { return picture; })},
    });
    center->setPlaybackState(MPNowPlayingPlaybackState::paused);

    const QVariantMap metadata = demarshalled(client.property(QStringLiteral("Metadata")));
    EXPECT_EQ(metadata.value("xesam:title").toString(), "A title");
    EXPECT_EQ(metadata.value("xesam:artist").toStringList(), QStringList{"An artist"});
    EXPECT_EQ(metadata.value("mpris:length").toLongLong(), 2'500'000);
    const QString artPath = QUrl(metadata.value("mpris:artUrl").toString()).toLocalFile();
    EXPECT_EQ(QImage(artPath).size(), QSize(4, 3));
    EXPECT_EQ(client.property(QStringLiteral("PlaybackStatus")).toString(), "Paused");
    EXPECT_EQ(client.property(QStringLiteral("Position")).toLongLong(), 1'000'000);

    // Calls reach the handlers of enabled commands only.
    std::atomic<int> toggles{0};
    std::atomic<double> skippedBack{0};
    commands.togglePlayPauseCommand.addTargetWithHandler([&](const MPRemoteCommandEvent&) {
        ++toggles;
        return MPRemoteCommandHandlerStatus::success;
    });
    commands.skipBackwardCommand.addTargetWithHandler([&](const MPRemoteCommandEvent& event) {
        skippedBack = dynamic_cast<const MPSkipIntervalCommandEvent&>(event).interval();
        return MPRemoteCommandHandlerStatus::success;
    });
    const QDBusMessage refused = client.player(QStringLiteral("PlayPause"));
    EXPECT_EQ(refused.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(refused.errorName(), MPRISNowPlayingInfoCenter::commandFailedError);
    EXPECT_EQ(toggles, 0);
    commands.togglePlayPauseCommand.setEnabled(true);
    commands.skipBackwardCommand.setEnabled(true);
    EXPECT_EQ(client.player(QStringLiteral("PlayPause")).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(toggles, 1);
    client.player(QStringLiteral("Seek"), {QVariant::fromValue(qlonglong(-5'000'000))});
    EXPECT_EQ(skippedBack, 5.0);
    EXPECT_TRUE(client.property(QStringLiteral("CanSeek")).toBool());

    // Nothing playing: no track, and the picture's file is gone.
    center->setNowPlayingInfo(std::nullopt);
    center->setPlaybackState(MPNowPlayingPlaybackState::stopped);
    EXPECT_FALSE(demarshalled(client.property(QStringLiteral("Metadata"))).contains("xesam:title"));
    EXPECT_FALSE(QFile::exists(artPath));
}

// playerctl, a real MPRIS client, run against the bus; its exit code says whether the player
// carried out what it asked.
struct PlayerctlResult {
    int exitCode = -1;
    QString output;
};

PlayerctlResult playerctl(const std::string& address, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromStdString(address));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("playerctl"),
                  QStringList{QStringLiteral("--player=quillon")} + arguments);
    if (!process.waitForFinished(10000)) {
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()).trimmed()};
}

// Every message on the bus as dbus-monitor prints it.
class BusMonitor {
public:
    explicit BusMonitor(const std::string& address) {
        process_.start(QStringLiteral("dbus-monitor"),
                       {QStringLiteral("--address"), QString::fromStdString(address)});
        process_.waitForStarted(5000);
    }
    ~BusMonitor() {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    // Waits until `text` was printed; false after a limit that only catches hangs.
    bool waitFor(const QString& text, const std::function<void()>& eachRound = {}) {
        for (int round = 0; round < 100 && !output_.contains(text); ++round) {
            if (eachRound) {
                eachRound();
            }
            process_.waitForReadyRead(100);
            output_ += QString::fromUtf8(process_.readAll());
        }
        return output_.contains(text);
    }
    const QString& output() const { return output_; }

    // The messages printed whose header names `member`, each with its arguments.
    QStringList messages(const QString& member) const {
        QStringList found;
        QString current;
        for (const QString& line : output_.split(u'\n')) {
            if (!line.startsWith(u' ')) {
                if (current.contains(QStringLiteral("member=") + member)) {
                    found << current;
                }
                current.clear();
            }
            current += line + u'\n';
        }
        if (current.contains(QStringLiteral("member=") + member)) {
            found << current;
        }
        return found;
    }

private:
    QProcess process_;
    QString output_;
};

TEST(MPRISNowPlayingInfoCenterTest, AClientSeesThePlayersRateAndRangeAndItsRefusals) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the D-Bus libraries are not instrumented";
#endif
    PrivateBus bus;
    if (bus.address().empty()) {
        GTEST_SKIP() << "no dbus-daemon to start";
    }
    if (QProcess::execute(QStringLiteral("playerctl"), {QStringLiteral("--version")}) != 0) {
        GTEST_SKIP() << "playerctl is not installed";
    }
    MPRemoteCommandCenter commands;
    for (auto* command : commands.allCommands()) {
        command->setEnabled(false);
    }
    std::mutex mutex;
    std::vector<std::string> received;
    std::vector<float> rates;
    auto record = [&](const char* name) {
        return [&, name](const MPRemoteCommandEvent& event) {
            std::lock_guard lock(mutex);
            received.emplace_back(name);
            if (const auto* change =
                    dynamic_cast<const MPChangePlaybackRateCommandEvent*>(&event)) {
                rates.push_back(change->playbackRate());
            }
            return MPRemoteCommandHandlerStatus::success;
        };
    };
    commands.playCommand.addTargetWithHandler(record("play"));
    commands.pauseCommand.addTargetWithHandler(record("pause"));
    commands.changePlaybackRateCommand.addTargetWithHandler(record("rate"));
    commands.changePlaybackPositionCommand.addTargetWithHandler(record("position"));
    auto center = MPRISNowPlayingInfoCenter::make(commands, bus.address());
    ASSERT_TRUE(center);
    Client client(bus.address());
    // Nothing can change the rate yet: the range is 1 to 1.
    EXPECT_EQ(client.property(QStringLiteral("MinimumRate")).toDouble(), 1.0);
    EXPECT_EQ(client.property(QStringLiteral("MaximumRate")).toDouble(), 1.0);

    for (auto* command :
         {&commands.playCommand, &commands.pauseCommand, &commands.changePlaybackPositionCommand}) {
        command->setEnabled(true);
    }
    commands.changePlaybackRateCommand.setSupportedPlaybackRates({0.5f, 1.0f, 1.5f, 2.0f});
    commands.changePlaybackRateCommand.setEnabled(true);
    center->setNowPlayingInfo(MPNowPlayingInfo{
        {MPNowPlayingInfoPropertyExternalContentIdentifier, std::string("AB-12")},
        {MPMediaItemPropertyPlaybackDuration, 10.0},
        {MPNowPlayingInfoPropertyElapsedPlaybackTime, 1.0},
        {MPNowPlayingInfoPropertyPlaybackRate, 0.0},
        {MPNowPlayingInfoPropertyDefaultPlaybackRate, 1.5},
    });
    center->setPlaybackState(MPNowPlayingPlaybackState::paused);

    // Paused, the rate is still the one it plays at, within the player's range.
    EXPECT_EQ(client.property(QStringLiteral("Rate")).toDouble(), 1.5);
    EXPECT_EQ(client.property(QStringLiteral("MinimumRate")).toDouble(), 0.5);
    EXPECT_EQ(client.property(QStringLiteral("MaximumRate")).toDouble(), 2.0);
    EXPECT_EQ(playerctl(bus.address(), {QStringLiteral("status")}).output, "Paused");

    // Writes of Rate reach the player, brought into the range; 0 pauses.
    const auto setRate = [&](double rate) {
        return client.call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                           {QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Rate"),
                            QVariant::fromValue(QDBusVariant(rate))});
    };
    EXPECT_EQ(setRate(3.0).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(setRate(0.25).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(setRate(1.25).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(setRate(0.0).type(), QDBusMessage::ReplyMessage);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(rates, (std::vector<float>{2.0f, 0.5f, 1.25f}));
        EXPECT_EQ(received.back(), "pause");
    }

    // What the player can do succeeds; what it cannot is refused, and the client says so.
    EXPECT_EQ(playerctl(bus.address(), {QStringLiteral("play")}).exitCode, 0);
    EXPECT_NE(playerctl(bus.address(), {QStringLiteral("next")}).exitCode, 0);
    EXPECT_EQ(playerctl(bus.address(), {QStringLiteral("position"), QStringLiteral("4")}).exitCode,
              0);
    commands.playCommand.setEnabled(false);
    EXPECT_NE(playerctl(bus.address(), {QStringLiteral("play")}).exitCode, 0);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(std::count(received.begin(), received.end(), "play"), 1);
        EXPECT_EQ(std::count(received.begin(), received.end(), "position"), 1);
    }

    // Playing moves the position without a word; a jump is announced by Seeked alone.
    BusMonitor monitor(bus.address());
    const auto probe = QDBusMessage::createSignal(
        QStringLiteral("/probe"), QStringLiteral("org.quillon.Probe"), QStringLiteral("Ready"));
    // Sent until the monitor, which needs a moment to start watching, has seen one.
    ASSERT_TRUE(monitor.waitFor(QStringLiteral("member=Ready"), [&] {
        QDBusConnection::connectToBus(QString::fromStdString(bus.address()),
                                      QStringLiteral("mpris-test-client"))
            .send(probe);
    }));
    center->setPlaybackState(MPNowPlayingPlaybackState::playing);
    center->setNowPlayingInfo(MPNowPlayingInfo{
        {MPNowPlayingInfoPropertyExternalContentIdentifier, std::string("AB-12")},
        {MPMediaItemPropertyPlaybackDuration, 10.0},
        {MPNowPlayingInfoPropertyElapsedPlaybackTime, 6.0},
        {MPNowPlayingInfoPropertyPlaybackRate, 1.0},
        {MPNowPlayingInfoPropertyDefaultPlaybackRate, 1.0},
    });
    EXPECT_GE(playerctl(bus.address(), {QStringLiteral("position")}).output.toDouble(), 6.0);
    ASSERT_TRUE(monitor.waitFor(QStringLiteral("member=Seeked")));
    const QStringList changes = monitor.messages(QStringLiteral("PropertiesChanged"));
    ASSERT_FALSE(changes.isEmpty());
    for (const QString& change : changes) {
        EXPECT_FALSE(change.contains(QStringLiteral("string \"Position\"")))
            << change.toStdString();
    }
}

}  // namespace
}  // namespace quillon::test
