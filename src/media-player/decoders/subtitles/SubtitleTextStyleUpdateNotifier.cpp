#include "media-player/decoders/subtitles/SubtitleTextStyleUpdateNotifier.h"

#include <vector>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"

namespace quillon {

using namespace platform;

SubtitleTextStyleUpdateNotifier::ObserverContext::ObserverContext(
    UUID observerUUID, std::weak_ptr<SubtitleTextStyleUpdateNotifier> notifier)
    : observerUUID_(observerUUID), notifier_(std::move(notifier)) {}

SubtitleTextStyleUpdateNotifier::ObserverContext::~ObserverContext() {
    if (auto notifier = notifier_.lock()) {
        notifier->removeObserver(observerUUID_);
    }
}

const std::shared_ptr<SubtitleTextStyleUpdateNotifier>& SubtitleTextStyleUpdateNotifier::shared() {
    static NeverDestroyed<std::shared_ptr<SubtitleTextStyleUpdateNotifier>> notifier(
        make(SubtitleTextStyleManager::shared()));
    return notifier.get();
}

std::shared_ptr<SubtitleTextStyleUpdateNotifier> SubtitleTextStyleUpdateNotifier::make(
    std::shared_ptr<SubtitleTextStyleManager> manager) {
    auto notifier =
        std::make_shared<SubtitleTextStyleUpdateNotifier>(Passkey{}, std::move(manager));
    std::weak_ptr<SubtitleTextStyleUpdateNotifier> weakNotifier = notifier;
    notifier->managerObservation_ = NotificationCenter::defaultCenter().addObserver(
        SubtitleTextStyleManagerUserSpecifiedTextStyleDidChangeNotification,
        notifier->manager_.get(), [weakNotifier](const Notification& notification) {
            if (auto notifier = weakNotifier.lock()) {
                notifier->notify(notification);
            }
        });
    return notifier;
}

SubtitleTextStyleUpdateNotifier::SubtitleTextStyleUpdateNotifier(
    Passkey, std::shared_ptr<SubtitleTextStyleManager> manager)
    : manager_(std::move(manager)),
      queue_(DispatchQueue::makeSerial("Subtitle Text Style Update Notifier Queue")) {}

std::shared_ptr<SubtitleTextStyleUpdateNotifier::ObserverContext>
SubtitleTextStyleUpdateNotifier::addObserver(ObserverMap& observers, Observer observer) {
    const UUID observerUUID;
    queue_->sync([&] { observers.insert_or_assign(observerUUID, std::move(observer)); });
    return std::make_shared<ObserverContext>(observerUUID, weak_from_this());
}

std::shared_ptr<SubtitleTextStyleUpdateNotifier::ObserverContext>
SubtitleTextStyleUpdateNotifier::addMediaPlayerObserver(Observer observer) {
    return addObserver(mediaPlayerObservers_, std::move(observer));
}

std::shared_ptr<SubtitleTextStyleUpdateNotifier::ObserverContext>
SubtitleTextStyleUpdateNotifier::addDecoderObserver(Observer observer) {
    return addObserver(decoderObservers_, std::move(observer));
}

void SubtitleTextStyleUpdateNotifier::removeObserver(const UUID& observerUUID) {
    queue_->sync([&] {
        mediaPlayerObservers_.erase(observerUUID);
        decoderObservers_.erase(observerUUID);
    });
}

void SubtitleTextStyleUpdateNotifier::notify(const Notification&) {
    // Copies, so that observers run outside the queue and may register or remove observers.
    auto [decoderObservers, mediaPlayerObservers] =
        queue_->sync([this] { return std::pair(decoderObservers_, mediaPlayerObservers_); });
    for (const auto& [observerUUID, observer] : decoderObservers) {
        observer();
    }
    for (const auto& [observerUUID, observer] : mediaPlayerObservers) {
        observer();
    }
}

}  // namespace quillon
