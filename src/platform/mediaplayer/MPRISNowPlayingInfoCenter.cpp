#include "platform/mediaplayer/MPRISNowPlayingInfoCenter.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include <QBuffer>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QVariantMap>

#include "platform/foundation/AtomicFileWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/ObserverToken.h"

namespace platform {

namespace {

const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kIntrospectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
constexpr double kMicrosecondsPerSecond = 1e6;
// A published position further than this from where playback should have got to is a jump.
constexpr double kSeekedThresholdSeconds = 1.0;

std::mutex raiseHandlerMutex;

std::function<void()>& raiseHandlerLocked() {
    // The bus thread may still ask while the process exits.
    static NeverDestroyed<std::function<void()>> handler;
    return handler.get();
}

std::function<void()> raiseHandler() {
    std::lock_guard lock(raiseHandlerMutex);
    return raiseHandlerLocked();
}

void raise() {
    if (auto handler = raiseHandler(); handler && QCoreApplication::instance() != nullptr) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(handler),
                                  Qt::QueuedConnection);
    }
}

const QString kIntrospection = QStringLiteral(R"(
<interface name="org.mpris.MediaPlayer2">
  <method name="Raise"/>
  <method name="Quit"/>
  <property name="CanQuit" type="b" access="read"/>
  <property name="CanRaise" type="b" access="read"/>
  <property name="HasTrackList" type="b" access="read"/>
  <property name="Identity" type="s" access="read"/>
  <property name="DesktopEntry" type="s" access="read"/>
  <property name="SupportedUriSchemes" type="as" access="read"/>
  <property name="SupportedMimeTypes" type="as" access="read"/>
</interface>
<interface name="org.mpris.MediaPlayer2.Player">
  <method name="Next"/>
  <method name="Previous"/>
  <method name="Pause"/>
  <method name="PlayPause"/>
  <method name="Stop"/>
  <method name="Play"/>
  <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
  <method name="SetPosition">
    <arg direction="in" name="TrackId" type="o"/>
    <arg direction="in" name="Position" type="x"/>
  </method>
  <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
  <signal name="Seeked"><arg name="Position" type="x"/></signal>
  <property name="PlaybackStatus" type="s" access="read"/>
  <property name="Rate" type="d" access="readwrite"/>
  <property name="Metadata" type="a{sv}" access="read"/>
  <property name="Volume" type="d" access="readwrite"/>
  <property name="Position" type="x" access="read"/>
  <property name="MinimumRate" type="d" access="read"/>
  <property name="MaximumRate" type="d" access="read"/>
  <property name="CanGoNext" type="b" access="read"/>
  <property name="CanGoPrevious" type="b" access="read"/>
  <property name="CanPlay" type="b" access="read"/>
  <property name="CanPause" type="b" access="read"/>
  <property name="CanSeek" type="b" access="read"/>
  <property name="CanControl" type="b" access="read"/>
</interface>
)");

QString playbackStatusText(MPNowPlayingPlaybackState state) {
    switch (state) {
        case MPNowPlayingPlaybackState::playing:
            return QStringLiteral("Playing");
        case MPNowPlayingPlaybackState::paused:
        case MPNowPlayingPlaybackState::interrupted:
            return QStringLiteral("Paused");
        case MPNowPlayingPlaybackState::unknown:
        case MPNowPlayingPlaybackState::stopped:
            break;
    }
    return QStringLiteral("Stopped");
}

// Object paths allow [A-Za-z0-9_] only.
QString trackIDFor(const std::optional<MPNowPlayingInfo>& info) {
    const auto identifier = info ? nowPlayingInfoValue<std::string>(
                                       *info, MPNowPlayingInfoPropertyExternalContentIdentifier)
                                 : std::nullopt;
    if (!identifier || identifier->empty()) {
        return kNoTrack;
    }
    QString element;
    for (const char c : *identifier) {
        const bool allowed =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        element += allowed ? QChar::fromLatin1(c) : QChar(u'_');
    }
    return QStringLiteral("/org/quillon/Player/Track/T") + element;
}

std::optional<double> numberValue(const MPNowPlayingInfo& info, const char* key) {
    if (const auto value = nowPlayingInfoValue<double>(info, key)) {
        return value;
    }
    if (const auto value = nowPlayingInfoValue<std::int64_t>(info, key)) {
        return static_cast<double>(*value);
    }
    return std::nullopt;
}

// The artwork folders of centers still alive. The default center is never destroyed, so its
// folder, and the last picture in it, would outlive every launch in the temporary directory;
// what is left when the process exits goes then.
struct ArtworkFolders {
    std::mutex mutex;
    std::set<std::string> paths;
};

ArtworkFolders& artworkFolders() {
    static NeverDestroyed<ArtworkFolders> folders;
    return folders.get();
}

void removeArtworkFoldersAtExit() {
    ArtworkFolders& folders = artworkFolders();
    std::lock_guard lock(folders.mutex);
    for (const std::string& path : folders.paths) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

void removeAtExit(const QTemporaryDir& folder) {
    if (!folder.isValid()) {
        return;
    }
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit(removeArtworkFoldersAtExit); });
    ArtworkFolders& folders = artworkFolders();
    std::lock_guard lock(folders.mutex);
    folders.paths.insert(folder.path().toStdString());
}

void forgetAtExit(const QTemporaryDir& folder) {
    ArtworkFolders& folders = artworkFolders();
    std::lock_guard lock(folders.mutex);
    folders.paths.erase(folder.path().toStdString());
}

}  // namespace

struct MPRISNowPlayingInfoCenter::Service {
    class Object final : public QDBusVirtualObject {
    public:
        explicit Object(Service& service) : service_(service) {}
        QString introspect(const QString&) const override { return kIntrospection; }
        bool handleMessage(const QDBusMessage& message,
                           const QDBusConnection& connection) override {
            service_.handleMessage(message, connection);
            return true;
        }

    private:
        Service& service_;
    };

    Service(MPRemoteCommandCenter& commandCenter, QDBusConnection connection,
            QString connectionName)
        : commandCenter(commandCenter),
          connection(std::move(connection)),
          connectionName(std::move(connectionName)) {
        removeAtExit(artworkDirectory);
    }

    ~Service() {
        forgetAtExit(artworkDirectory);
        commandObservation.remove();
        if (!busName.isEmpty()) {
            connection.unregisterService(busName);
        }
        connection.unregisterObject(QString::fromLatin1(objectPath));
        thread.quit();
        thread.wait();
        object.reset();
        QDBusConnection::disconnectFromBus(connectionName);
    }

    // --- Bus side (the service thread) ---

    void handleMessage(const QDBusMessage& message, const QDBusConnection& bus) {
        const QString interface = message.interface();
        const QString member = message.member();
        const QList<QVariant> arguments = message.arguments();
        if (interface == kPropertiesInterface) {
            handlePropertiesCall(message, bus);
        } else if (interface == kIntrospectableInterface && member == u"Introspect") {
            bus.send(message.createReply(QStringLiteral("<node>%1</node>").arg(kIntrospection)));
        } else if (interface == kRootInterface && (member == u"Raise" || member == u"Quit")) {
            if (member == u"Raise") {
                raise();
            }
            bus.send(message.createReply());
        } else if (interface == kPlayerInterface || interface.isEmpty()) {
            handlePlayerCall(message, bus);
        } else {
            bus.send(message.createErrorReply(QDBusError::UnknownInterface, interface));
        }
    }

    // A command the player could not carry out is an error to the client, not a silent no.
    static bool answerFailure(const QDBusMessage& message, const QDBusConnection& bus,
                              MPRemoteCommandHandlerStatus status) {
        if (status == MPRemoteCommandHandlerStatus::success) {
            return false;
        }
        const QString why = status == MPRemoteCommandHandlerStatus::noActionableNowPlayingItem
                                ? QStringLiteral("Nothing is playing that could %1.")
                                : QStringLiteral("The player cannot %1 now.");
        bus.send(message.createErrorReply(QString::fromLatin1(commandFailedError),
                                          why.arg(message.member())));
        return true;
    }

    void handlePlayerCall(const QDBusMessage& message, const QDBusConnection& bus) {
        const QString member = message.member();
        const QList<QVariant> arguments = message.arguments();
        auto status = MPRemoteCommandHandlerStatus::success;
        auto simple = [&](MPRemoteCommand& command) {
            status = command.dispatch(MPRemoteCommandEvent(command));
        };
        if (member == u"Play") {
            simple(commandCenter.playCommand);
        } else if (member == u"Pause") {
            simple(commandCenter.pauseCommand);
        } else if (member == u"PlayPause") {
            simple(commandCenter.togglePlayPauseCommand);
        } else if (member == u"Stop") {
            simple(commandCenter.stopCommand);
        } else if (member == u"Next") {
            simple(commandCenter.nextTrackCommand);
        } else if (member == u"Previous") {
            simple(commandCenter.previousTrackCommand);
        } else if (member == u"Seek" && arguments.size() == 1) {
            const double offset =
                static_cast<double>(arguments[0].toLongLong()) / kMicrosecondsPerSecond;
            MPSkipIntervalCommand& command =
                offset < 0 ? commandCenter.skipBackwardCommand : commandCenter.skipForwardCommand;
            status = command.dispatch(MPSkipIntervalCommandEvent(command, std::fabs(offset)));
        } else if (member == u"SetPosition" && arguments.size() == 2) {
            // A position for another track than the current one is stale: ignored.
            const QString trackID = qvariant_cast<QDBusObjectPath>(arguments[0]).path();
            const double position =
                static_cast<double>(arguments[1].toLongLong()) / kMicrosecondsPerSecond;
            if (trackID == currentTrackID() && trackID != kNoTrack && position >= 0) {
                auto& command = commandCenter.changePlaybackPositionCommand;
                status = command.dispatch(MPChangePlaybackPositionCommandEvent(command, position));
            }
        } else if (member == u"OpenUri") {
            bus.send(message.createErrorReply(QDBusError::NotSupported,
                                              QStringLiteral("Opening URIs is not supported.")));
            return;
        } else {
            bus.send(message.createErrorReply(QDBusError::UnknownMethod, member));
            return;
        }
        if (!answerFailure(message, bus, status)) {
            bus.send(message.createReply());
        }
    }

    // Rate 0 is a pause to MPRIS; any other rate is brought into the player's range.
    void setRate(const QDBusMessage& message, const QDBusConnection& bus, double requested) {
        MPRemoteCommandHandlerStatus status;
        if (!(requested > 0)) {
            status = commandCenter.pauseCommand.dispatch(
                MPRemoteCommandEvent(commandCenter.pauseCommand));
        } else {
            const auto [minimum, maximum] = rateRange();
            auto& command = commandCenter.changePlaybackRateCommand;
            status = command.dispatch(MPChangePlaybackRateCommandEvent(
                command, float(std::clamp(requested, minimum, maximum))));
        }
        if (!answerFailure(message, bus, status)) {
            bus.send(message.createReply());
        }
    }

    // What the rate command offers; 1 to 1 while the rate cannot be changed.
    std::pair<double, double> rateRange() const {
        const auto& command = commandCenter.changePlaybackRateCommand;
        const std::vector<float> rates = command.supportedPlaybackRates();
        if (!command.isEnabled() || rates.empty()) {
            return {1.0, 1.0};
        }
        const auto [minimum, maximum] = std::minmax_element(rates.begin(), rates.end());
        return {double(*minimum), double(*maximum)};
    }

    void handlePropertiesCall(const QDBusMessage& message, const QDBusConnection& bus) {
        const QString member = message.member();
        const QList<QVariant> arguments = message.arguments();
        const QString interface = arguments.value(0).toString();
        if (interface != kRootInterface && interface != kPlayerInterface) {
            bus.send(message.createErrorReply(QDBusError::UnknownInterface, interface));
            return;
        }
        const QVariantMap properties =
            interface == kRootInterface ? rootProperties() : playerPropertiesNow();
        if (member == u"GetAll") {
            bus.send(message.createReply(properties));
        } else if (member == u"Get" && arguments.size() == 2) {
            const auto found = properties.find(arguments[1].toString());
            if (found == properties.end()) {
                bus.send(
                    message.createErrorReply(QDBusError::UnknownProperty, arguments[1].toString()));
            } else {
                bus.send(message.createReply(QVariant::fromValue(QDBusVariant(found.value()))));
            }
        } else if (member == u"Set" && arguments.size() == 3) {
            const QString property = arguments[1].toString();
            const QVariant value = qvariant_cast<QDBusVariant>(arguments[2]).variant();
            if (interface == kPlayerInterface && property == u"Rate") {
                setRate(message, bus, value.toDouble());
            } else if (interface == kPlayerInterface && property == u"Volume") {
                // The volume stays the player's own: accepted with no effect, which the next
                // PropertiesChanged (none) tells the client.
                bus.send(message.createReply());
            } else {
                bus.send(message.createErrorReply(QDBusError::PropertyReadOnly, property));
            }
        } else {
            bus.send(message.createErrorReply(QDBusError::UnknownMethod, member));
        }
    }

    static QVariantMap rootProperties() {
        return {{QStringLiteral("CanQuit"), false},
                {QStringLiteral("CanRaise"), static_cast<bool>(raiseHandler())},
                {QStringLiteral("DesktopEntry"), QString::fromLatin1(desktopEntry)},
                {QStringLiteral("HasTrackList"), false},
                {QStringLiteral("Identity"), QStringLiteral("Quillon Player")},
                {QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("file")}},
                {QStringLiteral("SupportedMimeTypes"), QStringList{}}};
    }

    QVariantMap playerPropertiesNow() const {
        std::lock_guard lock(mutex);
        QVariantMap properties = playerPropertiesLocked();
        properties.insert(
            QStringLiteral("Position"),
            static_cast<qlonglong>(std::llround(positionLocked() * kMicrosecondsPerSecond)));
        return properties;
    }

    QString currentTrackID() const {
        std::lock_guard lock(mutex);
        return trackIDFor(info);
    }

    // --- State (under the mutex) ---

    double positionLocked() const {
        if (state != MPNowPlayingPlaybackState::playing) {
            return elapsed;
        }
        const std::chrono::duration<double> since = std::chrono::steady_clock::now() - anchor;
        return elapsed + rate * since.count();
    }

    QVariantMap metadataLocked() const {
        QVariantMap metadata;
        metadata.insert(QStringLiteral("mpris:trackid"),
                        QVariant::fromValue(QDBusObjectPath(trackIDFor(info))));
        if (!info) {
            return metadata;
        }
        auto text = [&](const char* key) -> std::optional<QString> {
            if (const auto value = nowPlayingInfoValue<std::string>(*info, key)) {
                return QString::fromStdString(*value);
            }
            return std::nullopt;
        };
        if (const auto duration = numberValue(*info, MPMediaItemPropertyPlaybackDuration)) {
            metadata.insert(
                QStringLiteral("mpris:length"),
                static_cast<qlonglong>(std::llround(*duration * kMicrosecondsPerSecond)));
        }
        if (const auto title = text(MPMediaItemPropertyTitle)) {
            metadata.insert(QStringLiteral("xesam:title"), *title);
        }
        if (const auto artist = text(MPMediaItemPropertyArtist)) {
            metadata.insert(QStringLiteral("xesam:artist"), QStringList{*artist});
        }
        if (const auto composer = text(MPMediaItemPropertyComposer)) {
            metadata.insert(QStringLiteral("xesam:composer"), QStringList{*composer});
        }
        if (const auto album = text(MPMediaItemPropertyAlbumTitle)) {
            metadata.insert(QStringLiteral("xesam:album"), *album);
        }
        if (const auto genre = text(MPMediaItemPropertyGenre)) {
            metadata.insert(QStringLiteral("xesam:genre"), QStringList{*genre});
        }
        if (const auto lyrics = text(MPMediaItemPropertyLyrics)) {
            metadata.insert(QStringLiteral("xesam:asText"), *lyrics);
        }
        if (!artUrl.isEmpty()) {
            metadata.insert(QStringLiteral("mpris:artUrl"), artUrl);
        }
        return metadata;
    }

    // Everything but Position, whose changes are not announced.
    QVariantMap playerPropertiesLocked() const {
        const bool canSeek = commandCenter.changePlaybackPositionCommand.isEnabled() ||
                             commandCenter.skipForwardCommand.isEnabled() ||
                             commandCenter.skipBackwardCommand.isEnabled();
        const auto [minimumRate, maximumRate] = rateRange();
        return {{QStringLiteral("PlaybackStatus"), playbackStatusText(state)},
                {QStringLiteral("Rate"), std::clamp(playbackRate, minimumRate, maximumRate)},
                {QStringLiteral("Metadata"), metadataLocked()},
                {QStringLiteral("Volume"), 1.0},
                {QStringLiteral("MinimumRate"), minimumRate},
                {QStringLiteral("MaximumRate"), maximumRate},
                {QStringLiteral("CanGoNext"), commandCenter.nextTrackCommand.isEnabled()},
                {QStringLiteral("CanGoPrevious"), commandCenter.previousTrackCommand.isEnabled()},
                {QStringLiteral("CanPlay"), commandCenter.playCommand.isEnabled()},
                {QStringLiteral("CanPause"), commandCenter.pauseCommand.isEnabled()},
                {QStringLiteral("CanSeek"), canSeek},
                {QStringLiteral("CanControl"), true}};
    }

    // Announces the properties that differ from the last announcement.
    void publishChangesLocked() {
        const QVariantMap now = playerPropertiesLocked();
        QVariantMap changed;
        for (auto it = now.begin(); it != now.end(); ++it) {
            if (published.value(it.key()) != it.value()) {
                changed.insert(it.key(), it.value());
            }
        }
        published = now;
        if (changed.isEmpty()) {
            return;
        }
        QDBusMessage signal =
            QDBusMessage::createSignal(QString::fromLatin1(objectPath), kPropertiesInterface,
                                       QStringLiteral("PropertiesChanged"));
        signal << kPlayerInterface << changed << QStringList{};
        connection.send(signal);
    }

    // Writes a new picture to a file of its own, so that clients caching by URL reload it.
    QString artworkURLFor(const std::shared_ptr<const MPMediaItemArtwork>& newArtwork) {
        std::lock_guard lock(artworkMutex);
        if (newArtwork == artwork) {
            return artworkURL;
        }
        if (!artworkFile.isEmpty()) {
            QFile::remove(artworkFile);
        }
        artwork = newArtwork;
        artworkFile.clear();
        artworkURL.clear();
        if (artwork && artworkDirectory.isValid()) {
            const QImage image = artwork->imageWithSize(artwork->bounds());
            const QString path =
                artworkDirectory.filePath(QStringLiteral("artwork-%1.png").arg(++artworkCount));
            QByteArray png;
            QBuffer buffer(&png);
            // Encoded first and saved whole: a desktop must never be pointed at half a picture
            // that a full disk cut short.
            if (!image.isNull() && image.save(&buffer, "PNG") &&
                !replaceFileContents(
                    path.toStdString(),
                    std::string_view(png.constData(), static_cast<std::size_t>(png.size())))) {
                artworkFile = path;
                artworkURL = QUrl::fromLocalFile(path).toString();
            } else {
                logLine(LogLevel::warning,
                        "The Now Playing artwork could not be written, so none is published.");
            }
        }
        return artworkURL;
    }

    void setInfo(const std::optional<MPNowPlayingInfo>& newInfo) {
        const auto newArtwork =
            newInfo ? nowPlayingInfoValue<std::shared_ptr<const MPMediaItemArtwork>>(
                          *newInfo, MPMediaItemPropertyArtwork)
                    : std::nullopt;
        const QString newArtURL = artworkURLFor(newArtwork.value_or(nullptr));

        std::lock_guard lock(mutex);
        const double expected = positionLocked();
        const bool sameTrack = trackIDFor(info) == trackIDFor(newInfo);
        info = newInfo;
        artUrl = newArtURL;
        elapsed =
            info ? numberValue(*info, MPNowPlayingInfoPropertyElapsedPlaybackTime).value_or(0.0)
                 : 0.0;
        rate = info ? numberValue(*info, MPNowPlayingInfoPropertyPlaybackRate).value_or(0.0) : 0.0;
        // Paused, the time line stands still, yet the rate is the one it will play at.
        playbackRate = info ? numberValue(*info, MPNowPlayingInfoPropertyDefaultPlaybackRate)
                                  .value_or(rate > 0 ? rate : 1.0)
                            : 1.0;
        anchor = std::chrono::steady_clock::now();
        publishChangesLocked();
        if (sameTrack && info && std::fabs(elapsed - expected) > kSeekedThresholdSeconds) {
            QDBusMessage seeked = QDBusMessage::createSignal(
                QString::fromLatin1(objectPath), kPlayerInterface, QStringLiteral("Seeked"));
            seeked << static_cast<qlonglong>(std::llround(elapsed * kMicrosecondsPerSecond));
            connection.send(seeked);
        }
    }

    void setState(MPNowPlayingPlaybackState newState) {
        std::lock_guard lock(mutex);
        // Keep the position continuous across the change of state.
        elapsed = positionLocked();
        anchor = std::chrono::steady_clock::now();
        state = newState;
        publishChangesLocked();
    }

    MPRemoteCommandCenter& commandCenter;
    QDBusConnection connection;
    QString connectionName;
    QString busName;
    QThread thread;
    std::unique_ptr<Object> object;
    ObserverToken commandObservation;

    std::mutex artworkMutex;
    QTemporaryDir artworkDirectory;
    std::shared_ptr<const MPMediaItemArtwork> artwork;
    QString artworkFile;
    QString artworkURL;
    int artworkCount = 0;

    mutable std::mutex mutex;
    std::optional<MPNowPlayingInfo> info;
    MPNowPlayingPlaybackState state = MPNowPlayingPlaybackState::stopped;
    QString artUrl;
    double elapsed = 0;
    // How fast the time line runs now (0 while paused), for the position...
    double rate = 0;
    // ...and the rate playback runs at, paused or not: MPRIS's Rate.
    double playbackRate = 1;
    std::chrono::steady_clock::time_point anchor = std::chrono::steady_clock::now();
    QVariantMap published;
};

void MPRISNowPlayingInfoCenter::setRaiseHandler(std::function<void()> handler) {
    std::lock_guard lock(raiseHandlerMutex);
    raiseHandlerLocked() = std::move(handler);
}

std::unique_ptr<MPRISNowPlayingInfoCenter> MPRISNowPlayingInfoCenter::make(
    MPRemoteCommandCenter& commandCenter, std::optional<std::string> busAddress) {
    static std::atomic<int> connectionCount{0};
    const QString connectionName = QStringLiteral("org.quillon.MPRIS.%1").arg(++connectionCount);
    QDBusConnection connection =
        busAddress
            ? QDBusConnection::connectToBus(QString::fromStdString(*busAddress), connectionName)
            : QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    if (!connection.isConnected()) {
        logWarning("Now Playing is not published: the bus cannot be reached ({}).",
                   connection.lastError().message().toStdString());
        QDBusConnection::disconnectFromBus(connectionName);
        return nullptr;
    }

    auto service = std::make_shared<Service>(commandCenter, connection, connectionName);
    service->thread.setObjectName(QStringLiteral("MPRIS Remote Command Thread"));
    service->object = std::make_unique<Service::Object>(*service);
    service->thread.start();
    service->object->moveToThread(&service->thread);
    {
        std::lock_guard lock(service->mutex);
        service->published = service->playerPropertiesLocked();
    }
    service->commandObservation =
        commandCenter.addChangeObserver([weakService = std::weak_ptr<Service>(service)] {
            if (const auto strongService = weakService.lock()) {
                std::lock_guard lock(strongService->mutex);
                strongService->publishChangesLocked();
            }
        });
    if (!connection.registerVirtualObject(QString::fromLatin1(objectPath), service->object.get(),
                                          QDBusConnection::SingleNode)) {
        logWarning("Now Playing is not published: the MPRIS object cannot be registered ({}).",
                   connection.lastError().message().toStdString());
        return nullptr;
    }
    for (const QString& name :
         {QString::fromLatin1(busNamePrefix),
          QStringLiteral("%1.instance%2").arg(QString::fromLatin1(busNamePrefix)).arg(getpid())}) {
        if (connection.registerService(name)) {
            service->busName = name;
            break;
        }
    }
    if (service->busName.isEmpty()) {
        logWarning("Now Playing is not published: no MPRIS name could be taken ({}).",
                   connection.lastError().message().toStdString());
        return nullptr;
    }
    return std::make_unique<MPRISNowPlayingInfoCenter>(Passkey{}, std::move(service));
}

MPRISNowPlayingInfoCenter::MPRISNowPlayingInfoCenter(Passkey, std::shared_ptr<Service> service)
    : service_(std::move(service)) {}

MPRISNowPlayingInfoCenter::~MPRISNowPlayingInfoCenter() = default;

std::string MPRISNowPlayingInfoCenter::busName() const {
    return service_->busName.toStdString();
}

void MPRISNowPlayingInfoCenter::nowPlayingInfoDidChange(
    const std::optional<MPNowPlayingInfo>& info) {
    service_->setInfo(info);
}

void MPRISNowPlayingInfoCenter::playbackStateDidChange(MPNowPlayingPlaybackState state) {
    service_->setState(state);
}

}  // namespace platform
