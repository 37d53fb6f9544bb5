#include "player-interface/castlink/CastlinkClient.h"

#include <fmt/format.h>

#include <QByteArray>
#include <QDBusError>
#include <QVariant>
#include <atomic>
#include <vector>

#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/NeverDestroyed.h"
#include "player-interface/castlink/CastlinkInterface.h"
#include "player-interface/castlink/UninstallPrivilegedHelperError.h"

namespace quillon {

namespace {

constexpr int kSharedCallTimeoutMilliseconds = 2000;

// The platform's code for a connection to a helper that cannot be used.
constexpr std::int64_t NSXPCConnectionInvalid = 4099;

platform::NSError connectionError(const QDBusError& error) {
    platform::NSError::UserInfo userInfo{
        {platform::NSLocalizedDescriptionKey,
         std::string("Couldn’t communicate with a helper application.")},
    };
    if (error.isValid()) {
        userInfo.emplace(
            platform::NSDebugDescriptionErrorKey,
            fmt::format("{}: {}", error.name().toStdString(), error.message().toStdString()));
    }
    return platform::NSError(platform::NSCocoaErrorDomain, NSXPCConnectionInvalid,
                             std::move(userInfo));
}

platform::NSError noVersionError(const std::string& why) {
    return platform::NSError(platform::NSCocoaErrorDomain, platform::NSCoderValueNotFoundError,
                             {{platform::NSDebugDescriptionErrorKey, why}});
}

// The bus's answers for a name that nobody owns: with and without activation asked for.
bool isServiceUnknown(const QDBusError& error) {
    return error.type() == QDBusError::ServiceUnknown ||
           error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

// Marks a connection error as the tool's absence; the error's texts stay as they are.
constexpr const char* kNotInstalledKey = "QLCastlinkToolIsNotInstalled";

platform::NSError notInstalled(const platform::NSError& error) {
    platform::NSError::UserInfo userInfo = error.userInfo();
    userInfo.emplace(kNotInstalledKey, std::int64_t{1});
    return platform::NSError(error.domain(), error.code(), std::move(userInfo));
}

bool isSharedDefaultConnection(const QDBusConnection& connection) {
    // Qt's default bus connections are shared by the whole process and must stay open.
    return connection.name().startsWith(QLatin1String("qt_default_"));
}

}  // namespace

std::shared_ptr<const platform::Error> CastlinkClient::UninstallError::clone() const {
    return std::make_shared<UninstallError>(*this);
}

std::string CastlinkClient::UninstallError::debugDescription() const {
    const char* name = kind_ == Kind::serviceFunctionFailed ? "serviceFunctionFailed"
                                                            : "privilegedHelperStillRunning";
    if (!underlyingError_) {
        return fmt::format("UninstallError.{}(nil)", name);
    }
    return fmt::format("UninstallError.{}({})", name, underlyingError_->debugDescription());
}

CastlinkClient& CastlinkClient::shared() {
    // Connections of its own rather than Qt's shared system bus: a client asking from another
    // thread must not hold up every other user of the system bus while it connects. The tool
    // answers quickly or not at all, so the calls wait a short while only.
    static platform::NeverDestroyed<CastlinkClient> client(
        [] {
            static std::atomic<int> counter{0};
            return QDBusConnection::connectToBus(
                QDBusConnection::SystemBus,
                QStringLiteral("org.quillon.Castlink.%1").arg(++counter));
        },
        kSharedCallTimeoutMilliseconds);
    return client.get();
}

CastlinkClient::CastlinkClient(ConnectionFactory makeConnection, int callTimeoutMilliseconds)
    : makeConnection_(std::move(makeConnection)),
      callTimeoutMilliseconds_(callTimeoutMilliseconds) {}

CastlinkClient::~CastlinkClient() {
    dropConnection();
}

QDBusConnection& CastlinkClient::connection() {
    if (connection_ && !connection_->isConnected()) {
        // The bus went away under the connection: it cannot come back, so the next call
        // starts over.
        dropConnection();
    }
    if (!connection_) {
        connection_ = makeConnection_();
        ++connectionCount_;
    }
    return *connection_;
}

void CastlinkClient::dropConnection() {
    if (!connection_) {
        return;
    }
    const QString name = connection_->name();
    const bool shared = isSharedDefaultConnection(*connection_);
    connection_.reset();
    if (!shared) {
        QDBusConnection::disconnectFromBus(name);
    }
}

CastlinkClient::Reply CastlinkClient::call(const char* method) {
    QDBusConnection& bus = connection();
    if (!bus.isConnected()) {
        auto error = connectionError(bus.lastError());
        dropConnection();
        return {std::nullopt, std::move(error), false, true};
    }
    const QDBusMessage request = QDBusMessage::createMethodCall(
        QString::fromLatin1(castlink::kServiceName), QString::fromLatin1(castlink::kObjectPath),
        QString::fromLatin1(castlink::kInterfaceName), QString::fromLatin1(method));
    QDBusMessage reply = bus.call(request, QDBus::Block, callTimeoutMilliseconds_);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QDBusError error(reply);
        if (error.type() == QDBusError::Disconnected) {
            dropConnection();
        }
        return {std::nullopt, connectionError(error), isServiceUnknown(error)};
    }
    return {std::move(reply), std::nullopt};
}

bool CastlinkClient::isNotInstalledError(const platform::Error& error) {
    const auto* nsError = dynamic_cast<const platform::NSError*>(&error);
    return nsError != nullptr && nsError->userInfo().contains(kNotInstalledKey);
}

PrivilegedHelperVersion CastlinkClient::privilegedHelperVersion() {
    const Reply reply = call(castlink::kGetPrivilegedHelperVersionMethod);
    if (!reply.message) {
        if (reply.isServiceUnknown || reply.isBusMissing) {
            throw notInstalled(*reply.connectionError);
        }
        throw *reply.connectionError;
    }
    const QVariantList arguments = reply.message->arguments();
    if (arguments.size() != 1 || arguments.front().typeId() != QMetaType::QByteArray) {
        throw noVersionError("The helper tool's version reply does not hold an archive.");
    }
    const QByteArray bytes = arguments.front().toByteArray();
    const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    // A damaged archive throws its decoding error from here.
    const auto version =
        platform::NSKeyedUnarchiver::unarchivedObjectOfClass<PrivilegedHelperVersion>(data);
    if (!version) {
        throw noVersionError("The helper tool's version reply holds no version.");
    }
    return *version;
}

void CastlinkClient::uninstallPrivilegedHelper() {
    // A lost connection during the uninstall itself is expected (the tool may quit before it
    // answers); only the check whether it still runs decides.
    std::shared_ptr<const platform::Error> recordedConnectionError;
    std::shared_ptr<const platform::Error> serviceError;

    const Reply uninstall = call(castlink::kUninstallPrivilegedHelperMethod);
    if (uninstall.message) {
        const QVariantList arguments = uninstall.message->arguments();
        if (arguments.size() == 4 && arguments.at(0).toBool()) {
            const std::string domain = arguments.at(1).toString().toStdString();
            const std::int64_t code = arguments.at(2).toLongLong();
            const std::string description = arguments.at(3).toString().toStdString();
            platform::NSError::UserInfo userInfo;
            if (!description.empty()) {
                userInfo.emplace(platform::NSLocalizedDescriptionKey, description);
            }
            const platform::NSError error(domain, code, std::move(userInfo));
            if (const auto known = UninstallPrivilegedHelperError::fromError(error)) {
                serviceError = known->clone();
            } else {
                serviceError = error.clone();
            }
        }
    } else {
        recordedConnectionError = uninstall.connectionError->clone();
    }
    if (serviceError) {
        throw UninstallError(UninstallError::Kind::serviceFunctionFailed, serviceError);
    }

    const Reply running = call(castlink::kIsPrivilegedHelperRunningMethod);
    if (running.message) {
        throw UninstallError(UninstallError::Kind::privilegedHelperStillRunning,
                             recordedConnectionError);
    }
    // The tool's name goes with the tool. Any other failure (no answer in time, a bus policy
    // that refuses the call, a connection lost on the way) leaves open whether it still runs.
    if (!running.isServiceUnknown) {
        throw UninstallError(UninstallError::Kind::serviceFunctionFailed,
                             running.connectionError->clone());
    }
}

}  // namespace quillon
