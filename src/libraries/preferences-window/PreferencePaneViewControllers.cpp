#include "libraries/preferences-window/PreferencePaneViewControllers.h"

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"

namespace preferences_window {

const PreferencePane& preferencePane(const platform::NSViewController& viewController) {
    const auto* pane = dynamic_cast<const PreferencePane*>(&viewController);
    platform::precondition(pane != nullptr, "a preference pane's view controller is no pane");
    return *pane;
}

PreferencePaneViewControllers::PreferencePaneViewControllers(
    std::vector<PreferencePaneViewController> viewControllers)
    : viewControllers_(std::move(viewControllers)) {
    platform::precondition(!viewControllers_.empty(), "a preferences window needs a pane");
    identifiers_.reserve(viewControllers_.size());
    for (const auto& viewController : viewControllers_) {
        platform::precondition(viewController != nullptr, "a preference pane is missing");
        PreferencePaneIdentifier identifier =
            preferencePane(*viewController).preferencePaneIdentifier();
        const bool inserted =
            identifierToViewControllerMap_.emplace(identifier, viewController).second;
        platform::precondition(
            inserted,
            fmt::format("two preference panes have the identifier \"{}\"", identifier.rawValue));
        identifiers_.push_back(std::move(identifier));
    }
}

const PreferencePaneViewController& PreferencePaneViewControllers::operator[](
    std::size_t index) const {
    platform::precondition(index < viewControllers_.size(), "no preference pane at this position");
    return viewControllers_[index];
}

const PreferencePaneIdentifier& PreferencePaneViewControllers::identifierAt(
    std::size_t index) const {
    platform::precondition(index < identifiers_.size(), "no preference pane at this position");
    return identifiers_[index];
}

bool PreferencePaneViewControllers::contains(const PreferencePaneIdentifier& identifier) const {
    return identifierToViewControllerMap_.contains(identifier);
}

const PreferencePaneViewController& PreferencePaneViewControllers::paneWithIdentifier(
    const PreferencePaneIdentifier& identifier) const {
    const auto found = identifierToViewControllerMap_.find(identifier);
    platform::precondition(
        found != identifierToViewControllerMap_.end(),
        fmt::format("no preference pane has the identifier \"{}\"", identifier.rawValue));
    return found->second;
}

PreferencePaneViewControllersWithToolbarItemImages::Element
PreferencePaneViewControllersWithToolbarItemImages::operator[](std::size_t index) const {
    const PreferencePaneViewController& viewController = underlyingViewControllers_[index];
    const auto* provider = dynamic_cast<const ToolbarItemImageProvider*>(viewController.get());
    platform::precondition(provider != nullptr, "a toolbar preference pane has no toolbar image");
    return {viewController, preferencePane(*viewController), *provider};
}

}  // namespace preferences_window
