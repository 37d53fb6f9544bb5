#pragma once

#include <map>
#include <utility>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QString>
#include <QVariant>

#include "support/PrivateBus.h"

namespace quillon::test {

// The desktop portal's Settings interface, served on the thread that made it (tests pump its
// events). A setting that is not there answers with the portal's NotFound error.
class FakePortalSettings final : public QDBusVirtualObject {
public:
    static inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
    static inline const QString interface = QStringLiteral("org.freedesktop.portal.Settings");

    // False plays a portal from before ReadOne, whose Read wraps each value in a second variant.
    void setReadOne(bool readOne) { readOne_ = readOne; }

    void set(const QString& settingNamespace, const QString& key, QVariant value) {
        settings_[{settingNamespace, key}] = std::move(value);
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const bool one = message.member() == u"ReadOne";
        if (message.interface() != interface || (!one && message.member() != u"Read") ||
            (one && !readOne_) || message.arguments().size() != 2) {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), QStringLiteral("no")));
            return true;
        }
        const auto found =
            settings_.find({message.arguments()[0].toString(), message.arguments()[1].toString()});
        if (found == settings_.end()) {
            connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                                         QStringLiteral("Requested setting not found")));
            return true;
        }
        QVariant value = QVariant::fromValue(QDBusVariant(found->second));
        if (!one) {
            value = QVariant::fromValue(QDBusVariant(value));
        }
        connection.send(message.createReply(value));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

private:
    bool readOne_ = true;
    std::map<std::pair<QString, QString>, QVariant> settings_;
};

// A session bus of the test's own, with a portal that serves `settings` once `offer` runs, and
// the program's side of the bus.
class PortalSettingsBus {
public:
    explicit PortalSettingsBus(FakePortalSettings& settings)
        : settings_(settings),
          desktopName_(QStringLiteral("portal-desktop-%1").arg(++counter())),
          clientName_(QStringLiteral("portal-client-%1").arg(counter())) {
        if (bus_.address().empty()) {
            return;
        }
        desktop_ = QDBusConnection::connectToBus(bus_.qAddress(), desktopName_);
        client_ = QDBusConnection::connectToBus(bus_.qAddress(), clientName_);
        desktop_.registerVirtualObject(FakePortalSettings::path, &settings_);
    }
    ~PortalSettingsBus() {
        desktop_.unregisterObject(FakePortalSettings::path);
        desktop_ = QDBusConnection(QString());
        client_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(desktopName_);
        QDBusConnection::disconnectFromBus(clientName_);
    }
    PortalSettingsBus(const PortalSettingsBus&) = delete;
    PortalSettingsBus& operator=(const PortalSettingsBus&) = delete;

    // False when no dbus-daemon could be started.
    bool isRunning() const { return desktop_.isConnected() && client_.isConnected(); }
    // The portal takes its name on the bus.
    bool offer() {
        return desktop_.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    QDBusConnection client() const { return client_; }

    // Changes a setting and says so, as the portal does.
    void change(const QString& settingNamespace, const QString& key, const QVariant& value) {
        settings_.set(settingNamespace, key, value);
        QDBusMessage signal =
            QDBusMessage::createSignal(FakePortalSettings::path, FakePortalSettings::interface,
                                       QStringLiteral("SettingChanged"));
        signal << settingNamespace << key << QVariant::fromValue(QDBusVariant(value));
        desktop_.send(signal);
    }

private:
    static int& counter() {
        static int count = 0;
        return count;
    }

    FakePortalSettings& settings_;
    PrivateBus bus_;
    const QString desktopName_;
    const QString clientName_;
    QDBusConnection desktop_{QString()};
    QDBusConnection client_{QString()};
};

}  // namespace quillon::test
