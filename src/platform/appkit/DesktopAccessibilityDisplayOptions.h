#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariant>

class QDBusPendingCallWatcher;
class QDBusVariant;

namespace platform {

// Keeps the workspace's accessibility display options in step with the desktop's settings, read
// from the desktop portal's Settings interface (org.freedesktop.portal.Settings) on the session
// bus:
// - higher contrast is the portal's own "org.freedesktop.appearance" "contrast" (1 = higher)
//   where the portal has it; otherwise GNOME's "org.gnome.desktop.a11y.interface"
//   "high-contrast", which GNOME's portal passes through the same interface;
// - SettingChanged signals keep it current while the program runs.
// Every call is asynchronous with a short time-out, so a slow or stuck portal never holds up
// the main thread. Without a portal the workspace keeps normal contrast and one log line says
// why.
//
// Main thread only; answers arrive through the main thread's event loop.
class DesktopAccessibilityDisplayOptions final : public QObject {
    Q_OBJECT

public:
    enum class State {
        // The first answers are outstanding.
        reading,
        // The settings were read (or found missing) and changes are followed.
        watching,
        // No bus, or no portal answered: normal contrast.
        unavailable,
    };

    // Reads the settings at once over `bus` (the session bus in the program; tests run their
    // own) and feeds the shared workspace.
    explicit DesktopAccessibilityDisplayOptions(QDBusConnection bus);
    ~DesktopAccessibilityDisplayOptions() override;
    DesktopAccessibilityDisplayOptions(const DesktopAccessibilityDisplayOptions&) = delete;
    DesktopAccessibilityDisplayOptions& operator=(const DesktopAccessibilityDisplayOptions&) =
        delete;

    State state() const { return state_; }
    // What the desktop says now, as the workspace has it.
    bool shouldIncreaseContrast() const;

    static constexpr int callTimeoutMilliseconds = 5000;

private slots:
    void settingChanged(const QString& settingNamespace, const QString& key,
                        const QDBusVariant& value);

private:
    struct Setting {
        QString settingNamespace;
        QString key;
        // Null until read, and while the portal does not have it.
        QVariant value;
        // The last read got no answer from a portal.
        bool unreachable = false;
    };

    // Asks for one setting: ReadOne first, the older Read where the portal lacks it.
    void read(Setting& setting, bool legacy);
    void answered(Setting& setting, bool legacy, QDBusPendingCallWatcher& call);
    void failed(const QString& why);
    void apply();

    QDBusConnection bus_;
    State state_ = State::reading;
    int outstanding_ = 0;
    bool loggedFailure_ = false;
    Setting appearanceContrast_;
    Setting gnomeHighContrast_;
};

}  // namespace platform
