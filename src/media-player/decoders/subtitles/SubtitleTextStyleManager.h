#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "media-player/decoders/subtitles/SubtitleTextStyle.h"
#include "platform/accessibility/MACaptionAppearance.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/UserDefaults.h"

namespace quillon {

// The user default that makes the user-specified style replace the look of ASS styles.
inline constexpr const char* QPUseUserSpecifiedSubtitleTextStyle =
    "QPUseUserSpecifiedSubtitleTextStyle";

// Posted on the default centre, with the manager as object, after the user-specified style was
// rebuilt or the preference that chooses it changed.
inline constexpr const char* SubtitleTextStyleManagerUserSpecifiedTextStyleDidChangeNotification =
    "org.quillon.player.SubtitleTextStyleManager.userSpecifiedTextStyleDidChange";

// Keeps the user-specified subtitle style: the look the user chose in the system's caption
// settings, rebuilt whenever those settings change.
//
// The style is read and written only on the manager's queue; readers wait there, so a read
// during a rebuild sees the rebuilt style. The change notification is posted from a global
// queue, never from the manager's queue, so its observers may read the manager.
//
// Work on the manager's queue never keeps the manager alive: the last owner's release waits
// for a rebuild under way, skips those still queued and ends the queue's thread, so no rebuild
// (which reads settings and fonts through Qt) outlives the manager or runs while the process
// exits.
class SubtitleTextStyleManager : public std::enable_shared_from_this<SubtitleTextStyleManager> {
    struct Passkey {};

public:
    // The process's manager, made on first use from the caption settings of
    // currentCaptionAppearanceProvider() and the standard user defaults.
    static const std::shared_ptr<SubtitleTextStyleManager>& shared();

    // A manager over the given caption appearance (null: whatever
    // currentCaptionAppearanceProvider() answers at each rebuild) and user defaults (null: the
    // standard ones), which the manager keeps for as long as work it queued can read them. The
    // first rebuild is queued before this returns; it announces nothing, as no one has seen a
    // style yet.
    static std::shared_ptr<SubtitleTextStyleManager> make(
        std::shared_ptr<platform::CaptionAppearanceProvider> captionAppearance = nullptr,
        std::shared_ptr<platform::UserDefaults> userDefaults = nullptr);

    SubtitleTextStyleManager(Passkey, std::shared_ptr<platform::CaptionAppearanceProvider>,
                             std::shared_ptr<platform::UserDefaults> userDefaults);
    SubtitleTextStyleManager(const SubtitleTextStyleManager&) = delete;
    SubtitleTextStyleManager& operator=(const SubtitleTextStyleManager&) = delete;
    // Must not run on queue().
    ~SubtitleTextStyleManager();

    // "Subtitle Text Style Manager Queue".
    const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }

    // A copy of the current user-specified style. Must not be called on queue().
    SubtitleTextStyle userSpecifiedStyle() const;

    // With QPUseUserSpecifiedSubtitleTextStyle on, the user-specified style with `style`
    // applied to it; otherwise `style` unchanged.
    SubtitleTextStyle resolvedStyle(const SubtitleTextStyle& style) const;

    // Announces that the user-specified style changed (also after the preference was toggled).
    void updateUserSpecifiedStyle();

    // Observer of kMACaptionAppearanceSettingsChangedNotification: queues a rebuild.
    void mediaAccessibilityCaptionAppearanceSettingsDidChange(
        const platform::Notification& notification);

private:
    void queueRebuild();
    // On queue_.
    void rebuildUserSpecifiedStyle();

    const std::shared_ptr<platform::CaptionAppearanceProvider> captionAppearance_;
    const std::shared_ptr<platform::UserDefaults> userDefaults_;
    const std::shared_ptr<platform::DispatchQueue> queue_;
    // Set by the destructor: rebuilds that have not started yet have no one to build for.
    std::atomic<bool> closing_ = false;
    // Touched only on queue_.
    std::optional<SubtitleTextStyle> userSpecifiedStyle_;
    platform::ObserverToken captionSettingsObservation_;
};

}  // namespace quillon
