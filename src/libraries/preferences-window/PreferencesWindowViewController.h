#pragma once

#include <QVariantAnimation>
#include <memory>
#include <optional>

#include "libraries/preferences-window/PreferencePaneViewControllers.h"
#include "platform/appkit/NSViewController.h"
#include "platform/foundation/UUID.h"

class QVBoxLayout;

namespace preferences_window {

// The content of the preferences window: it holds the panes as child view controllers and shows
// exactly one pane's view, at the top of its own view and centred across it. Its width is that of
// the widest pane (more only if a pane asks for more later); its height is the shown pane's, so
// a non-resizable window follows each pane.
//
// Switching panes in a window animates the window's height, top edge fixed, with the new pane
// hidden until the resize ends; a newer switch takes over from one still running. Main thread
// only.
class PreferencesWindowViewController final : public platform::NSViewController {
public:
    explicit PreferencesWindowViewController(PreferencePaneViewControllers viewControllers);
    ~PreferencesWindowViewController() override;

    void loadView() override;
    void viewDidLoad() override;

    const PreferencePaneIdentifier& visiblePreferencePaneIdentifier() const { return visible_; }
    // Shows the pane at once (without animation); before the view loads, only records it.
    void setVisiblePreferencePaneIdentifier(const PreferencePaneIdentifier& identifier);

    // The animated switch; without a window the new pane shows at once.
    void showPreferencePane(const PreferencePaneIdentifier& identifier);

    // Names the newest switch still resizing the window; none when no switch is pending.
    const std::optional<platform::UUID>& currentAnimationUUID() const {
        return currentAnimationUUID_;
    }
    void setCurrentAnimationUUID(std::optional<platform::UUID> uuid) {
        currentAnimationUUID_ = std::move(uuid);
    }

    // The width that the view keeps at least; 0 before the view loads.
    int width() const { return width_; }

private:
    void setWidth(int width);
    void showPreferencePaneWithoutAnimation(const PreferencePaneIdentifier& identifier);
    // Takes the visible pane's view out, records `identifier` and puts that pane's view in.
    QWidget* replaceVisiblePaneView(const PreferencePaneIdentifier& identifier, bool hidden);
    void finishSwitch(const platform::UUID& uuid, QWidget* newView);

    PreferencePaneViewControllers viewControllers_;
    int width_ = 0;
    PreferencePaneIdentifier visible_;
    std::optional<platform::UUID> currentAnimationUUID_;
    QVBoxLayout* layout_ = nullptr;
    std::unique_ptr<QVariantAnimation> heightAnimation_;
};

}  // namespace preferences_window
