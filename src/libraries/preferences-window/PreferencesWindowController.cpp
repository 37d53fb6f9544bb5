#include "libraries/preferences-window/PreferencesWindowController.h"

#include "libraries/preferences-window/SingleItemPreferencePaneSelectionController.h"
#include "libraries/preferences-window/ToolbarPreferencePaneSelectionController.h"
#include "platform/foundation/FatalError.h"

namespace preferences_window {

namespace {

constexpr const char* kWindowIdentifier = "PreferencesWindowKit.window";

std::shared_ptr<platform::NSWindow> makeWindow() {
    auto window = std::make_shared<platform::NSWindow>(
        platform::CGRect{{0, 0}, {1, 1}},
        platform::NSWindowStyleMaskTitled | platform::NSWindowStyleMaskClosable);
    window->setIdentifier(kWindowIdentifier);
    return window;
}

}  // namespace

struct PreferencesWindowController::Configuration {
    std::shared_ptr<platform::NSWindow> window;
    std::unique_ptr<PreferencePaneSelectionController> selectionController;
    PreferencePaneViewControllers viewControllers;
    bool shouldUsePreferencePaneTitleForWindowTitle;
};

PreferencesWindowController::Configuration PreferencesWindowController::makeConfiguration(
    std::vector<PreferencePaneViewController> panes) {
    if (panes.size() == 1) {
        return makeConfiguration(std::move(panes.front()));
    }
    auto window = makeWindow();
    PreferencePaneViewControllers viewControllers(std::move(panes));
    auto selectionController = std::make_unique<ToolbarPreferencePaneSelectionController>(
        window, PreferencePaneViewControllersWithToolbarItemImages(viewControllers));
    return {std::move(window), std::move(selectionController), std::move(viewControllers), true};
}

PreferencesWindowController::Configuration PreferencesWindowController::makeConfiguration(
    PreferencePaneViewController pane) {
    platform::precondition(pane != nullptr, "a preference pane is missing");
    auto selectionController = std::make_unique<SingleItemPreferencePaneSelectionController>(
        preferencePane(*pane).preferencePaneIdentifier());
    // One pane is always titled with the generic title.
    return {makeWindow(), std::move(selectionController),
            PreferencePaneViewControllers({std::move(pane)}), false};
}

PreferencesWindowController::PreferencesWindowController(
    std::vector<PreferencePaneViewController> viewControllers)
    : PreferencesWindowController(makeConfiguration(std::move(viewControllers))) {}

PreferencesWindowController::PreferencesWindowController(
    PreferencePaneViewController viewController)
    : PreferencesWindowController(makeConfiguration(std::move(viewController))) {}

PreferencesWindowController::PreferencesWindowController(Configuration configuration)
    : PreferencesWindowController(std::move(configuration.window),
                                  std::move(configuration.selectionController),
                                  std::move(configuration.viewControllers),
                                  configuration.shouldUsePreferencePaneTitleForWindowTitle) {}

PreferencesWindowController::PreferencesWindowController(
    std::shared_ptr<platform::NSWindow> window,
    std::unique_ptr<PreferencePaneSelectionController> selectionController,
    PreferencePaneViewControllers viewControllers, bool shouldUsePreferencePaneTitleForWindowTitle)
    : NSWindowController(window),
      selectionController_(std::move(selectionController)),
      windowViewController_(std::make_shared<PreferencesWindowViewController>(viewControllers)),
      windowTitleController_(window, viewControllers, shouldUsePreferencePaneTitleForWindowTitle) {
    platform::precondition(selectionController_ != nullptr,
                           "a preferences window needs a selection controller");
    const PreferencePaneIdentifier identifier = initialPreferencePaneIdentifier(viewControllers);
    selectionController_->setSelectedPreferencePaneIdentifier(identifier);
    windowViewController_->setVisiblePreferencePaneIdentifier(identifier);
    windowTitleController_.setSelectedPreferencePaneIdentifier(identifier);
    lastViewedPreferencePaneController_.setLastViewedPreferencePaneIdentifier(identifier);
    lastViewedPreferencePaneController_.persist();
    selectionController_->setDelegate(this);
}

PreferencesWindowController::~PreferencesWindowController() {
    selectionController_->setDelegate(nullptr);
}

PreferencePaneIdentifier PreferencesWindowController::initialPreferencePaneIdentifier(
    const PreferencePaneViewControllers& viewControllers) const {
    const auto& lastViewed =
        lastViewedPreferencePaneController_.lastViewedPreferencePaneIdentifier();
    if (lastViewed && viewControllers.contains(*lastViewed)) {
        return *lastViewed;
    }
    return viewControllers.firstIdentifier();
}

void PreferencesWindowController::showWindow(QObject* sender) {
    NSWindowController::showWindow(sender);
    if (hasBeenShown_) {
        return;
    }
    hasBeenShown_ = true;
    if (platform::NSWindow* window = this->window()) {
        window->setContentViewController(windowViewController_);
        window->makeFirstResponder(nullptr);
        window->layoutIfNeeded();
        window->center();
    }
}

void PreferencesWindowController::showPreferencePane(const PreferencePaneIdentifier& identifier) {
    selectionController_->setSelectedPreferencePaneIdentifier(identifier);
    selectionDidChange(*selectionController_);
    showWindow(nullptr);
}

void PreferencesWindowController::selectionDidChange(
    PreferencePaneSelectionController& selectionController) {
    const PreferencePaneIdentifier identifier =
        selectionController.selectedPreferencePaneIdentifier();
    if (identifier != windowViewController_->visiblePreferencePaneIdentifier()) {
        if (windowViewController_->isViewLoaded()) {
            windowViewController_->setCurrentAnimationUUID(std::nullopt);
            windowViewController_->showPreferencePane(identifier);
        } else {
            windowViewController_->setVisiblePreferencePaneIdentifier(identifier);
        }
    }
    windowTitleController_.setSelectedPreferencePaneIdentifier(identifier);
    lastViewedPreferencePaneController_.setLastViewedPreferencePaneIdentifier(identifier);
    lastViewedPreferencePaneController_.persist();
}

}  // namespace preferences_window
