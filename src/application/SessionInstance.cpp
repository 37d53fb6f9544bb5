#include "application/SessionInstance.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVirtualObject>
#include <QEvent>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <system_error>

#include "platform/foundation/Log.h"

namespace quillon {

namespace {

constexpr const char* kIntrospection = R"(
  <interface name="org.freedesktop.Application">
    <method name="Activate">
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
    <method name="Open">
      <arg type="as" name="uris" direction="in"/>
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
    <method name="ActivateAction">
      <arg type="s" name="action_name" direction="in"/>
      <arg type="av" name="parameter" direction="in"/>
      <arg type="a{sv}" name="platform_data" direction="in"/>
    </method>
  </interface>
)";

// The application-modal dialog in front of everything, if one is up: requests wait for it.
// Sheets and the Open panel hold only their own window and do not count.
QWidget* applicationModalWidget() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowModality() == Qt::ApplicationModal) {
            return widget;
        }
    }
    return nullptr;
}

std::optional<platform::URL> urlFromArgument(const std::string& argument) {
    if (argument.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    // A file whose name looks like a URL ("a:b.mkv") is still that file.
    const bool exists = std::filesystem::exists(argument, error);
    if (!exists) {
        if (auto url = platform::URL::fromString(argument); url && !url->scheme().empty()) {
            if (url->isFileURL()) {
                return platform::URL::fileURL(url->path());
            }
            return url;
        }
    }
    return platform::URL::fileURL(std::filesystem::absolute(argument, error).string());
}

// The a{sv} argument at `index` of a call; empty when it is missing or of another type.
QVariantMap platformDataArgument(const QList<QVariant>& arguments, qsizetype index) {
    if (index >= arguments.size()) {
        return {};
    }
    const QVariant& argument = arguments[index];
    if (argument.canConvert<QDBusArgument>()) {
        const auto dbusArgument = argument.value<QDBusArgument>();
        if (dbusArgument.currentSignature() == u"a{sv}") {
            return qdbus_cast<QVariantMap>(dbusArgument);
        }
        return {};
    }
    return argument.toMap();
}

// Watches the dialog the requests wait for.
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(std::function<void()> closed) : closed_(std::move(closed)) {}

    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Hide || event->type() == QEvent::Destroy) {
            QMetaObject::invokeMethod(this, closed_, Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void()> closed_;
};

}  // namespace

// The object that the bus calls. Each request is answered at once, so that a later launch ends
// without waiting for what the request starts, and runs from the event loop.
class SessionInstance::Object final : public QDBusVirtualObject {
public:
    explicit Object(SessionInstance& instance) : instance_(instance) {}

    QString introspect(const QString& /*path*/) const override {
        return QString::fromLatin1(kIntrospection);
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String(kInterface)) {
            return false;
        }
        const QList<QVariant> arguments = message.arguments();
        const QString member = message.member();
        if (member == u"Activate") {
            connection.send(message.createReply());
            post({false, {}, launchActivation(platformDataArgument(arguments, 0))});
        } else if (member == u"Open" && !arguments.isEmpty()) {
            std::vector<platform::URL> urls;
            for (const QString& uri : arguments[0].toStringList()) {
                if (auto url = platform::URL::fromString(uri.toStdString())) {
                    urls.push_back(url->isFileURL() ? platform::URL::fileURL(url->path()) : *url);
                }
            }
            connection.send(message.createReply());
            post({true, std::move(urls), launchActivation(platformDataArgument(arguments, 1))});
        } else if (member == u"ActivateAction") {
            connection.send(
                message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
                                         QStringLiteral("The player has no action “%1”.")
                                             .arg(arguments.value(0).toString())));
        } else {
            return false;
        }
        return true;
    }

private:
    void post(Request request) {
        std::weak_ptr<bool> alive = instance_.alive_;
        SessionInstance* instance = &instance_;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [alive, instance, request = std::move(request)]() mutable {
                if (!alive.expired()) {
                    instance->receive(std::move(request));
                }
            },
            Qt::QueuedConnection);
    }

    SessionInstance& instance_;
};

SessionInstance::SessionInstance(QDBusConnection connection, std::chrono::milliseconds replyTimeout)
    : connection_(std::move(connection)), replyTimeout_(replyTimeout) {}

SessionInstance::~SessionInstance() {
    alive_.reset();
    if (role_ == Role::primary) {
        connection_.unregisterObject(QString::fromLatin1(kObjectPath));
        connection_.unregisterService(QString::fromLatin1(kBusName));
    }
}

SessionInstance::Role SessionInstance::claim(const std::vector<platform::URL>& urls,
                                             const QVariantMap& platformData) {
    if (!connection_.isConnected() || connection_.interface() == nullptr) {
        return role_ = Role::alone;
    }
    const QString name = QString::fromLatin1(kBusName);
    const QString path = QString::fromLatin1(kObjectPath);
    // Once for a name owner that quit between our request and its answer.
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Published before the name is taken, so that whoever sees the name can call it.
        object_ = std::make_unique<Object>(*this);
        if (!connection_.registerVirtualObject(path, object_.get())) {
            platform::logWarning(
                "Failed to publish {} on the session bus: this instance runs on its own.",
                kObjectPath);
            object_.reset();
            return role_ = Role::alone;
        }
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
            connection_.interface()->registerService(
                name, QDBusConnectionInterface::DontQueueService,
                QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            return role_ = Role::primary;
        }
        connection_.unregisterObject(path);
        object_.reset();
        if (!reply.isValid()) {
            platform::logWarning(
                "Failed to ask the session bus for {}: {}; this instance runs on its own.",
                kBusName, reply.error().message().toStdString());
            return role_ = Role::alone;
        }
        role_ = handOver(urls, platformData);
        if (role_ != Role::alone) {
            return role_;
        }
    }
    platform::logWarning(
        "The instance that owns {} went away while this one started: this instance "
        "runs on its own.",
        kBusName);
    return role_ = Role::independent;
}

SessionInstance::Role SessionInstance::handOver(const std::vector<platform::URL>& urls,
                                                const QVariantMap& platformData) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kBusName), QString::fromLatin1(kObjectPath),
        QString::fromLatin1(kInterface),
        urls.empty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (urls.empty()) {
        call << platformData;
    } else {
        QStringList uris;
        for (const auto& url : urls) {
            uris << QString::fromStdString(url.absoluteString());
        }
        call << uris << platformData;
    }
    const QDBusMessage reply =
        connection_.call(call, QDBus::Block, static_cast<int>(replyTimeout_.count()));
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return Role::handedOver;
    }
    const QString error = reply.errorName();
    if (error == u"org.freedesktop.DBus.Error.ServiceUnknown" ||
        error == u"org.freedesktop.DBus.Error.NameHasNoOwner") {
        // The owner is gone: try to take the name again.
        return Role::alone;
    }
    if (error == u"org.freedesktop.DBus.Error.NoReply" ||
        error == u"org.freedesktop.DBus.Error.Timeout") {
        platform::logWarning(
            "The running instance of the player did not answer within {} ms: this "
            "instance runs on its own and leaves the windows' state to it.",
            replyTimeout_.count());
    } else {
        platform::logWarning(
            "The running instance of the player refused the request ({}): this "
            "instance runs on its own and leaves the windows' state to it.",
            reply.errorMessage().toStdString());
    }
    return Role::independent;
}

void SessionInstance::setHandlers(Handlers handlers) {
    handlers_ = std::move(handlers);
    runPendingRequests();
}

void SessionInstance::receive(Request request) {
    pending_.push_back(std::move(request));
    runPendingRequests();
}

void SessionInstance::runPendingRequests() {
    if (!handlers_.open || !handlers_.activate || pending_.empty()) {
        return;
    }
    if (QWidget* modal = applicationModalWidget()) {
        waitForModal(modal);
        return;
    }
    const std::vector<Request> requests = std::move(pending_);
    pending_.clear();
    for (const auto& request : requests) {
        if (request.isOpen) {
            handlers_.open(request.urls, request.launch);
        } else {
            handlers_.activate(request.launch);
        }
        ++handledRequestCount_;
    }
}

void SessionInstance::waitForModal(QWidget* modal) {
    if (watchedModal_ == modal) {
        return;
    }
    if (!modalWatcher_) {
        // Lives as long as this object: its queued calls die with it.
        modalWatcher_ = std::make_unique<ModalWatcher>([this] {
            watchedModal_ = nullptr;
            runPendingRequests();
        });
    }
    if (watchedModal_) {
        watchedModal_->removeEventFilter(modalWatcher_.get());
    }
    watchedModal_ = modal;
    modal->installEventFilter(modalWatcher_.get());
}

QVariantMap SessionInstance::launchPlatformData() {
    QVariantMap data;
    const QString startupID = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (!startupID.isEmpty()) {
        data.insert(QStringLiteral("desktop-startup-id"), startupID);
    }
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty()) {
        data.insert(QStringLiteral("activation-token"), token);
    }
    return data;
}

platform::LaunchActivation SessionInstance::launchActivation(const QVariantMap& platformData) {
    return {platformData.value(QStringLiteral("activation-token")).toString().toStdString(),
            platformData.value(QStringLiteral("desktop-startup-id")).toString().toStdString()};
}

std::vector<platform::URL> SessionInstance::urlsFromArguments(
    const std::vector<std::string>& arguments) {
    std::vector<platform::URL> urls;
    for (const auto& argument : arguments) {
        if (auto url = urlFromArgument(argument)) {
            urls.push_back(std::move(*url));
        }
    }
    return urls;
}

}  // namespace quillon
