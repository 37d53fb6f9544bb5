#pragma once

#include <cstddef>
#include <memory>
#include <unordered_map>
#include <vector>

#include "libraries/preferences-window/PreferencePane.h"
#include "platform/appkit/NSViewController.h"

namespace preferences_window {

using PreferencePaneViewController = std::shared_ptr<platform::NSViewController>;

// The pane interface of a view controller; a view controller that is no pane stops the process.
const PreferencePane& preferencePane(const platform::NSViewController& viewController);

// The panes of one window in their order, and each by its identifier. At least one pane, no two
// with one identifier: anything else is a programming error that stops the process.
class PreferencePaneViewControllers {
public:
    using Map = std::unordered_map<PreferencePaneIdentifier, PreferencePaneViewController>;

    explicit PreferencePaneViewControllers(
        std::vector<PreferencePaneViewController> viewControllers);

    const std::vector<PreferencePaneViewController>& viewControllers() const {
        return viewControllers_;
    }
    const Map& identifierToViewControllerMap() const { return identifierToViewControllerMap_; }

    std::size_t size() const { return viewControllers_.size(); }
    const PreferencePaneViewController& operator[](std::size_t index) const;
    auto begin() const { return viewControllers_.begin(); }
    auto end() const { return viewControllers_.end(); }

    const PreferencePaneIdentifier& firstIdentifier() const { return identifiers_.front(); }
    const PreferencePaneIdentifier& identifierAt(std::size_t index) const;
    bool contains(const PreferencePaneIdentifier& identifier) const;
    // The pane of an identifier; one that names no pane stops the process.
    const PreferencePaneViewController& paneWithIdentifier(
        const PreferencePaneIdentifier& identifier) const;

private:
    std::vector<PreferencePaneViewController> viewControllers_;
    std::vector<PreferencePaneIdentifier> identifiers_;
    Map identifierToViewControllerMap_;
};

// The same panes, each also giving its toolbar image; reading a pane that gives none stops the
// process.
class PreferencePaneViewControllersWithToolbarItemImages {
public:
    struct Element {
        const PreferencePaneViewController& viewController;
        const PreferencePane& pane;
        const ToolbarItemImageProvider& toolbarItemImageProvider;
    };

    explicit PreferencePaneViewControllersWithToolbarItemImages(
        PreferencePaneViewControllers underlyingViewControllers)
        : underlyingViewControllers_(std::move(underlyingViewControllers)) {}

    const PreferencePaneViewControllers& underlyingViewControllers() const {
        return underlyingViewControllers_;
    }
    std::size_t size() const { return underlyingViewControllers_.size(); }
    Element operator[](std::size_t index) const;

private:
    PreferencePaneViewControllers underlyingViewControllers_;
};

}  // namespace preferences_window
