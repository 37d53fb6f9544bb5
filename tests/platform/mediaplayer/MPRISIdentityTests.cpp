#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QThread>

#include "platform/mediaplayer/MPRISNowPlayingInfoCenter.h"
#include "support/EventPumping.h"
#include "support/PrivateBus.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {
namespace {

using namespace platform;

QVariant rootProperty(QDBusConnection& connection, const QString& name) {
    auto message = QDBusMessage::createMethodCall(
        QString::fromLatin1(MPRISNowPlayingInfoCenter::busNamePrefix),
        QString::fromLatin1(MPRISNowPlayingInfoCenter::objectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << QStringLiteral("org.mpris.MediaPlayer2") << name;
    const QDBusMessage reply = connection.call(message, QDBus::Block, 5000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

TEST(MPRISIdentityTest, NamesTheLauncherEntryAndRaisesThroughTheApplicationOnTheMainThread) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the D-Bus libraries are not instrumented";
#endif
    PrivateBus bus;
    ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start";
    QThread* raisedOn = nullptr;
    int raises = 0;
    MPRISNowPlayingInfoCenter::setRaiseHandler([&] {
        raisedOn = QThread::currentThread();
        ++raises;
    });
    MPRemoteCommandCenter commands;
    auto center = MPRISNowPlayingInfoCenter::make(commands, bus.address());
    ASSERT_TRUE(center);
    {
        QDBusConnection client =
            QDBusConnection::connectToBus(bus.qAddress(), QStringLiteral("mpris-identity-client"));
        EXPECT_EQ(rootProperty(client, QStringLiteral("DesktopEntry")).toString(),
                  QStringLiteral("org.quillon.player"));
        EXPECT_TRUE(rootProperty(client, QStringLiteral("CanRaise")).toBool());

        const QDBusMessage reply =
            client.call(QDBusMessage::createMethodCall(
                            QString::fromLatin1(MPRISNowPlayingInfoCenter::busNamePrefix),
                            QString::fromLatin1(MPRISNowPlayingInfoCenter::objectPath),
                            QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Raise")),
                        QDBus::Block, 5000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);
        EXPECT_TRUE(pumpUntil([&] { return raises == 1; }));
        EXPECT_EQ(raisedOn, QCoreApplication::instance()->thread());

        MPRISNowPlayingInfoCenter::setRaiseHandler(nullptr);
        EXPECT_FALSE(rootProperty(client, QStringLiteral("CanRaise")).toBool());
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("mpris-identity-client"));
}

}  // namespace
}  // namespace quillon::test
