#pragma once

#include <QDBusConnection>
#include <QPointer>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/WindowActivation.h"
#include "platform/foundation/URL.h"

class QWidget;

namespace quillon {

// One player per desktop session. The first instance owns the bus name "org.quillon.player"
// and serves org.freedesktop.Application at "/org/quillon/player": Activate raises the player,
// Open opens files, ActivateAction runs none (the player declares no actions). A later launch
// finds the name taken, hands its files to the owner (Open) or asks it to come forward
// (Activate), and ends. Without a session bus every launch runs on its own; so does one whose
// owner does not answer within the reply timeout, which says so in one log line. Main thread
// only.
class SessionInstance {
public:
    static constexpr const char* kBusName = "org.quillon.player";
    static constexpr const char* kObjectPath = "/org/quillon/player";
    static constexpr const char* kInterface = "org.freedesktop.Application";
    static constexpr std::chrono::milliseconds kDefaultReplyTimeout{2000};

    enum class Role {
        // This process owns the name: it restores the windows and writes their state.
        primary,
        // The running instance took the request: this process ends.
        handedOver,
        // No bus: this process runs as if it were alone, restoring and writing as usual.
        alone,
        // An owner that did not answer: this process runs on its own, but leaves the windows'
        // state to that owner.
        independent,
    };

    // What the primary instance does with the requests of later launches, on the main thread,
    // with what each launch handed over to take the focus with.
    struct Handlers {
        std::function<void(const platform::LaunchActivation&)> activate;
        std::function<void(const std::vector<platform::URL>&, const platform::LaunchActivation&)>
            open;
    };

    // Over `connection` (not connected: alone).
    explicit SessionInstance(QDBusConnection connection,
                             std::chrono::milliseconds replyTimeout = kDefaultReplyTimeout);
    ~SessionInstance();
    SessionInstance(const SessionInstance&) = delete;
    SessionInstance& operator=(const SessionInstance&) = delete;

    // Takes the name or hands `urls` over to its owner (none: asks it to come forward).
    // `platformData` goes with the request (the launch's startup notification id). The
    // primary's requests queue until setHandlers.
    Role claim(const std::vector<platform::URL>& urls, const QVariantMap& platformData = {});
    Role role() const { return role_; }

    // Runs the requests that came so far and those to come. While a dialog holds the whole
    // application (an application-modal alert), requests wait for it to close.
    void setHandlers(Handlers handlers);

    // How many requests the primary has run, and how many wait (tests wait for them).
    int handledRequestCount() const { return handledRequestCount_; }
    std::size_t pendingRequestCount() const { return pending_.size(); }

    // The launch's own platform data: its startup notification id and activation token.
    static QVariantMap launchPlatformData();
    // The token and the id in a request's platform data.
    static platform::LaunchActivation launchActivation(const QVariantMap& platformData);
    // Arguments of a launch: file paths (relative ones against the current folder) and URLs.
    // A "file:" URL's path is percent-decoded; other schemes stay URLs that opening refuses.
    static std::vector<platform::URL> urlsFromArguments(const std::vector<std::string>& arguments);

private:
    class Object;
    struct Request {
        bool isOpen = false;
        std::vector<platform::URL> urls;
        platform::LaunchActivation launch;
    };

    Role handOver(const std::vector<platform::URL>& urls, const QVariantMap& platformData);
    void receive(Request request);
    void runPendingRequests();
    void waitForModal(QWidget* modal);

    QDBusConnection connection_;
    std::chrono::milliseconds replyTimeout_;
    Role role_ = Role::alone;
    std::unique_ptr<Object> object_;
    Handlers handlers_;
    std::vector<Request> pending_;
    QPointer<QWidget> watchedModal_;
    std::unique_ptr<QObject> modalWatcher_;
    int handledRequestCount_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quillon
