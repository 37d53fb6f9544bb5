#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"
#include "player-interface/castlink/PrivilegedHelperVersion.h"

namespace quillon {

// The application's end of the conversation with the Castlink helper tool, a service on the
// system bus (see CastlinkInterface.h). Every call waits for the tool's answer: the tool only
// ever answers quickly or not at all, and the callers (the launch alert, the preferences) have
// nothing to show until it has answered.
//
// The bus connection is made on first use and kept; once the bus has dropped it, the next call
// makes a new one. Main thread only.
class CastlinkClient {
public:
    // Why the tool could not be uninstalled.
    class UninstallError final : public platform::Error {
    public:
        enum class Kind : std::int64_t {
            // The tool answered with this reason (an UninstallPrivilegedHelperError when the
            // tool's error is one of those, else the tool's error as it came), or the check
            // whether it still runs failed with this error, so that nobody knows.
            serviceFunctionFailed = 0,
            // The tool claimed success but still answers; the connection's error, if any.
            privilegedHelperStillRunning = 1,
        };

        static constexpr const char* errorDomain = "CastlinkClient.UninstallError";

        UninstallError(Kind kind, std::shared_ptr<const platform::Error> underlyingError)
            : kind_(kind), underlyingError_(std::move(underlyingError)) {}

        Kind kind() const { return kind_; }
        // Always set for serviceFunctionFailed; usually none for privilegedHelperStillRunning.
        const std::shared_ptr<const platform::Error>& underlyingError() const {
            return underlyingError_;
        }

        std::string domain() const override { return errorDomain; }
        std::int64_t code() const override { return static_cast<std::int64_t>(kind_); }
        std::shared_ptr<const platform::Error> clone() const override;
        std::string debugDescription() const override;

    private:
        Kind kind_;
        std::shared_ptr<const platform::Error> underlyingError_;
    };

    // Makes a connection to the bus the tool lives on; a connection that is not connected
    // counts as the tool being out of reach.
    using ConnectionFactory = std::function<QDBusConnection()>;

    // The process's client, talking to the system bus.
    static CastlinkClient& shared();

    // A client over the buses `makeConnection` gives. A call that gets no answer within
    // `callTimeoutMilliseconds` (-1: the bus's default) fails like a lost connection.
    explicit CastlinkClient(ConnectionFactory makeConnection, int callTimeoutMilliseconds = -1);
    ~CastlinkClient();
    CastlinkClient(const CastlinkClient&) = delete;
    CastlinkClient& operator=(const CastlinkClient&) = delete;

    // The installed tool's version; throws the connection's error when the tool cannot be
    // reached, or an NSError when its answer holds no version.
    PrivilegedHelperVersion privilegedHelperVersion();

    // Whether an error from privilegedHelperVersion() says that no tool is installed: nobody
    // serves its name on the bus, or there is no bus for it to live on. That is the normal
    // state of a machine, unlike a tool that is there and fails to answer.
    static bool isNotInstalledError(const platform::Error& error);

    // Asks the tool to remove itself and checks that it has gone: only the bus saying that
    // nobody serves the tool's name any more counts as gone. Throws UninstallError.
    void uninstallPrivilegedHelper();

    // How many bus connections this client has made (each reconnection counts).
    int connectionCount() const { return connectionCount_; }

    // What this client makes its connections with, for a client of the same tool elsewhere.
    const ConnectionFactory& connectionFactory() const { return makeConnection_; }

private:
    // A message to the tool, or the connection's failure as an error.
    struct Reply {
        std::optional<QDBusMessage> message;
        std::optional<platform::NSError> connectionError;
        // The bus answered that nobody serves the tool's name.
        bool isServiceUnknown = false;
        // There is no bus to reach the tool on.
        bool isBusMissing = false;
    };

    Reply call(const char* method);
    QDBusConnection& connection();
    void dropConnection();

    ConnectionFactory makeConnection_;
    int callTimeoutMilliseconds_;
    std::optional<QDBusConnection> connection_;
    int connectionCount_ = 0;
};

}  // namespace quillon
