#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/KeyedArchiver.h"
#include "player-interface/castlink/CastlinkInterface.h"
#include "player-interface/castlink/CastlinkManager.h"
#include "player-interface/castlink/PrivilegedHelperVersion.h"
#include "support/PrivateBus.h"

namespace quillon::test {

// The helper tool as the application meets it, answering from a thread of its own.
class FakeCastlinkTool final : public QDBusVirtualObject {
public:
    struct UninstallAnswer {
        bool failed = false;
        std::string domain;
        std::int64_t code = 0;
        std::string description;
    };
    // How the tool, while it runs, meets the question whether it still runs.
    enum class RunningCheck {
        answer,
        // Takes the call and never replies: the caller's time-out ends the wait.
        silence,
        // An error in its place (as a bus policy that refuses the call would send).
        error,
    };

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard lock(mutex);
        calls.push_back(message.member().toStdString());
        if (!running) {
            // Gone: the bus answers for it with an error.
            return false;
        }
        if (message.member() == QLatin1String(castlink::kIsPrivilegedHelperRunningMethod)) {
            if (runningCheck == RunningCheck::answer) {
                connection.send(message.createReply());
            } else if (runningCheck == RunningCheck::error) {
                connection.send(
                    message.createErrorReply(runningCheckError, QStringLiteral("Refused.")));
            }
            return true;
        }
        if (message.member() == QLatin1String(castlink::kGetPrivilegedHelperVersionMethod)) {
            connection.send(message.createReply(QVariant(versionReply)));
            return true;
        }
        if (message.member() == QLatin1String(castlink::kUninstallPrivilegedHelperMethod)) {
            QVariantList reply{QVariant(uninstallAnswer.failed),
                               QVariant(QString::fromStdString(uninstallAnswer.domain)),
                               QVariant(static_cast<qlonglong>(uninstallAnswer.code)),
                               QVariant(QString::fromStdString(uninstallAnswer.description))};
            running = stillRunsAfterUninstall || uninstallAnswer.failed;
            if (!running) {
                // A tool that removed itself leaves the bus, name and all; before it answers, so
                // that the caller's next question finds the name gone.
                QDBusConnection(connection)
                    .unregisterService(QString::fromLatin1(castlink::kServiceName));
            }
            connection.send(message.createReply(reply));
            return true;
        }
        return false;
    }

    QString introspect(const QString&) const override { return {}; }

    void setVersion(const PrivilegedHelperVersion& version) {
        const auto data = platform::NSKeyedArchiver::archivedData(version);
        std::lock_guard lock(mutex);
        versionReply = QByteArray(reinterpret_cast<const char*>(data.data()),
                                  static_cast<qsizetype>(data.size()));
    }

    std::vector<std::string> recordedCalls() {
        std::lock_guard lock(mutex);
        return calls;
    }

    std::mutex mutex;
    bool running = true;
    bool stillRunsAfterUninstall = false;
    RunningCheck runningCheck = RunningCheck::answer;
    QDBusError::ErrorType runningCheckError = QDBusError::AccessDenied;
    QByteArray versionReply;
    UninstallAnswer uninstallAnswer;
    std::vector<std::string> calls;
};

// Publishes a FakeCastlinkTool on a bus under the tool's name while it lives.
class PublishedTool {
public:
    PublishedTool(const PrivateBus& bus, FakeCastlinkTool& tool)
        : name_(QStringLiteral("castlink tool %1").arg(++counter())),
          connection_(QDBusConnection::connectToBus(bus.qAddress(), name_)) {
        thread_.start();
        tool.moveToThread(&thread_);
        registered_ =
            connection_.isConnected() &&
            connection_.registerVirtualObject(QString::fromLatin1(castlink::kObjectPath), &tool) &&
            connection_.registerService(QString::fromLatin1(castlink::kServiceName));
    }
    ~PublishedTool() {
        connection_.unregisterObject(QString::fromLatin1(castlink::kObjectPath));
        QDBusConnection::disconnectFromBus(name_);
        thread_.quit();
        thread_.wait();
    }
    bool isRegistered() const { return registered_; }

private:
    static int& counter() {
        static int value = 0;
        return value;
    }
    QString name_;
    QDBusConnection connection_;
    QThread thread_;
    bool registered_ = false;
};

// A client factory that opens a fresh, uniquely named connection to `address` each time.
inline CastlinkClient::ConnectionFactory connectionFactory(std::function<QString()> address) {
    return [address = std::move(address)] {
        static std::atomic<int> counter = 0;
        return QDBusConnection::connectToBus(address(),
                                             QStringLiteral("castlink client %1").arg(++counter));
    };
}

// A manager that answers from the test: installed or not, and an uninstall that succeeds or
// throws.
class FakeCastlinkManager final : public CastlinkManager {
public:
    InstallationStatus installedPrivilegedHelperVersion() override {
        ++versionQueries;
        return installedVersion ? InstallationStatus::installed(*installedVersion)
                                : InstallationStatus::notInstalled();
    }
    // Answers at once, as a tool on a quick bus would.
    void requestInstalledPrivilegedHelperVersion(InstallationStatusHandler completion,
                                                 std::chrono::milliseconds) override {
        completion(installedPrivilegedHelperVersion());
    }
    void uninstallPrivilegedHelper() override {
        ++uninstalls;
        if (uninstallError) {
            throw *uninstallError;
        }
        installedVersion.reset();
    }

    std::optional<PrivilegedHelperVersion> installedVersion;
    std::optional<CastlinkClient::UninstallError> uninstallError;
    int versionQueries = 0;
    int uninstalls = 0;
};

}  // namespace quillon::test
