#include <gtest/gtest.h>

#include <atomic>

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
    EXPECT_EQ(client.player(QStringLiteral("PlayPause")).type(), QDBusMessage::ReplyMessage);
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

}  // namespace
}  // namespace quillon::test
