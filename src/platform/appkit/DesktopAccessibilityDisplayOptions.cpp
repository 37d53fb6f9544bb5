#include "platform/appkit/DesktopAccessibilityDisplayOptions.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QMetaType>
#include <utility>

#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kSettingChanged = QStringLiteral("SettingChanged");
// The portal runs but does not have the setting.
const QString kNotFoundError = QStringLiteral("org.freedesktop.portal.Error.NotFound");
// A portal older than ReadOne.
const QString kUnknownMethodError = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");

const QString kAppearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString kContrastKey = QStringLiteral("contrast");
const QString kGnomeInterfaceNamespace = QStringLiteral("org.gnome.desktop.a11y.interface");
const QString kHighContrastKey = QStringLiteral("high-contrast");
// The appearance's contrast: 0 no preference, 1 higher contrast.
constexpr uint kHigherContrast = 1;

// Read wraps the value in one more variant than ReadOne and the signal do.
QVariant unwrapped(QVariant value) {
    while (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        value = qvariant_cast<QDBusVariant>(value).variant();
    }
    return value;
}

bool isInteger(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::UChar:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return true;
        default:
            return false;
    }
}

}  // namespace

DesktopAccessibilityDisplayOptions::DesktopAccessibilityDisplayOptions(QDBusConnection bus)
    : bus_(std::move(bus)),
      appearanceContrast_{kAppearanceNamespace, kContrastKey, {}, false},
      gnomeHighContrast_{kGnomeInterfaceNamespace, kHighContrastKey, {}, false} {
    if (!bus_.isConnected()) {
        failed(QStringLiteral("there is no session bus"));
        state_ = State::unavailable;
        return;
    }
    // The bus finds the slot's argument types by name, which only a registered type has.
    qRegisterMetaType<QDBusVariant>();
    // From any sender: naming the portal's service would make Qt ask the bus for its owner
    // there and then, on this thread. Subscribed before reading, so no change falls between.
    if (!bus_.connect(QString(), kPortalPath, kSettingsInterface, kSettingChanged, this,
                      SLOT(settingChanged(QString, QString, QDBusVariant)))) {
        failed(
            QStringLiteral("its changes cannot be followed: %1").arg(bus_.lastError().message()));
    }
    read(appearanceContrast_, false);
    read(gnomeHighContrast_, false);
}

DesktopAccessibilityDisplayOptions::~DesktopAccessibilityDisplayOptions() {
    if (bus_.isConnected()) {
        bus_.disconnect(QString(), kPortalPath, kSettingsInterface, kSettingChanged, this,
                        SLOT(settingChanged(QString, QString, QDBusVariant)));
    }
}

bool DesktopAccessibilityDisplayOptions::shouldIncreaseContrast() const {
    return NSWorkspace::shared().accessibilityDisplayShouldIncreaseContrast();
}

void DesktopAccessibilityDisplayOptions::read(Setting& setting, bool legacy) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, kSettingsInterface,
                                       legacy ? QStringLiteral("Read") : QStringLiteral("ReadOne"));
    message << setting.settingNamespace << setting.key;
    if (!legacy) {
        ++outstanding_;
    }
    // Owned by this object: an answer that comes after it went away is dropped with the watcher.
    auto* call =
        new QDBusPendingCallWatcher(bus_.asyncCall(message, callTimeoutMilliseconds), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, &setting, legacy](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                answered(setting, legacy, *finished);
            });
}

void DesktopAccessibilityDisplayOptions::answered(Setting& setting, bool legacy,
                                                  QDBusPendingCallWatcher& call) {
    const QDBusMessage reply = call.reply();
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        setting.value = unwrapped(reply.arguments().constFirst());
        setting.unreachable = false;
    } else if (!legacy && reply.errorName() == kUnknownMethodError) {
        read(setting, true);
        return;
    } else if (reply.errorName() == kNotFoundError) {
        setting.value = QVariant();
        setting.unreachable = false;
    } else {
        setting.unreachable = true;
        failed(reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage());
    }
    if (--outstanding_ > 0) {
        return;
    }
    const bool reached = !appearanceContrast_.unreachable || !gnomeHighContrast_.unreachable;
    state_ = reached ? State::watching : State::unavailable;
    apply();
}

void DesktopAccessibilityDisplayOptions::settingChanged(const QString& settingNamespace,
                                                        const QString& key,
                                                        const QDBusVariant& value) {
    Setting* setting = nullptr;
    for (Setting* candidate : {&appearanceContrast_, &gnomeHighContrast_}) {
        if (candidate->settingNamespace == settingNamespace && candidate->key == key) {
            setting = candidate;
        }
    }
    if (setting == nullptr) {
        return;
    }
    setting->value = unwrapped(value.variant());
    setting->unreachable = false;
    // A portal that came up after the first reads failed speaks for itself.
    if (state_ == State::unavailable) {
        state_ = State::watching;
    }
    // Until both first answers are in, one of them alone could say the opposite of the other.
    if (outstanding_ == 0) {
        apply();
    }
}

void DesktopAccessibilityDisplayOptions::failed(const QString& why) {
    if (std::exchange(loggedFailure_, true)) {
        return;
    }
    logWarning(
        "The desktop's contrast setting cannot be read ({}), so the controls keep their normal "
        "contrast.",
        why.toStdString());
}

void DesktopAccessibilityDisplayOptions::apply() {
    // The portal's own setting speaks for every desktop that fills it in; GNOME's is only the
    // fallback for portals without it. A value of another type counts as absent.
    bool increase = false;
    if (isInteger(appearanceContrast_.value)) {
        increase = appearanceContrast_.value.toULongLong() == kHigherContrast;
    } else if (gnomeHighContrast_.value.typeId() == QMetaType::Bool) {
        increase = gnomeHighContrast_.value.toBool();
    }
    NSWorkspace::shared().setAccessibilityDisplayShouldIncreaseContrast(increase);
}

}  // namespace platform
