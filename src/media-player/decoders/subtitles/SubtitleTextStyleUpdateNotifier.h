#pragma once

#include <functional>
#include <memory>
#include <unordered_map>

#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/UUID.h"

namespace quillon {

// Tells the ASS decoders, then the players, that the user-specified subtitle style changed:
// decoders first, so that every player that refreshes its subtitles finds the decoders' style
// maps already rebuilt.
//
// The observer tables are touched only on the notifier's queue; observers are called outside
// it, on the thread that posted the manager's notification, so they may add or drop observers.
class SubtitleTextStyleUpdateNotifier
    : public std::enable_shared_from_this<SubtitleTextStyleUpdateNotifier> {
    struct Passkey {};

public:
    using Observer = std::function<void()>;

    // The registration of one observer: dropping the last reference removes it.
    class ObserverContext {
    public:
        ObserverContext(platform::UUID observerUUID,
                        std::weak_ptr<SubtitleTextStyleUpdateNotifier> notifier);
        ~ObserverContext();
        ObserverContext(const ObserverContext&) = delete;
        ObserverContext& operator=(const ObserverContext&) = delete;

        const platform::UUID& observerUUID() const { return observerUUID_; }

    private:
        const platform::UUID observerUUID_;
        const std::weak_ptr<SubtitleTextStyleUpdateNotifier> notifier_;
    };

    // The process's notifier, made on first use around SubtitleTextStyleManager::shared().
    static const std::shared_ptr<SubtitleTextStyleUpdateNotifier>& shared();
    // A notifier that follows the given manager's changes.
    static std::shared_ptr<SubtitleTextStyleUpdateNotifier> make(
        std::shared_ptr<SubtitleTextStyleManager> manager);

    SubtitleTextStyleUpdateNotifier(Passkey, std::shared_ptr<SubtitleTextStyleManager> manager);
    SubtitleTextStyleUpdateNotifier(const SubtitleTextStyleUpdateNotifier&) = delete;
    SubtitleTextStyleUpdateNotifier& operator=(const SubtitleTextStyleUpdateNotifier&) = delete;

    // "Subtitle Text Style Update Notifier Queue".
    const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }

    // Each player registers one observer, each ASS decoder one.
    [[nodiscard]] std::shared_ptr<ObserverContext> addMediaPlayerObserver(Observer observer);
    [[nodiscard]] std::shared_ptr<ObserverContext> addDecoderObserver(Observer observer);
    void removeObserver(const platform::UUID& observerUUID);

    // Observer of the manager's change notification: calls every decoder observer, then every
    // media-player observer.
    void notify(const platform::Notification& notification);

private:
    using ObserverMap = std::unordered_map<platform::UUID, Observer>;

    std::shared_ptr<ObserverContext> addObserver(ObserverMap& observers, Observer observer);

    const std::shared_ptr<SubtitleTextStyleManager> manager_;
    const std::shared_ptr<platform::DispatchQueue> queue_;
    // Touched only on queue_.
    ObserverMap mediaPlayerObservers_;
    ObserverMap decoderObservers_;
    platform::ObserverToken managerObservation_;
};

}  // namespace quillon
