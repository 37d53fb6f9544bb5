#include "libraries/preferences-window/ToolbarPreferencePaneSelectionController.h"

#include <QEvent>
#include <QPainter>
#include <QToolBar>
#include <QWidget>

#include "libraries/preferences-window/ResourceBundle.h"
#include "platform/foundation/FatalError.h"

namespace preferences_window {

namespace {

std::string labelForTitle(const std::optional<std::string>& title) {
    if (title) {
        return *title;
    }
    return localizedString(
        "Preferences",
        "The title of the toolbar item in the preferences window if no custom title is given.");
}

// The 1-pixel line that parts the toolbar from the pane below it. It lies over the toolbar's
// bottom row and follows the toolbar's width; the toolbar owns it.
class BaselineSeparator final : public QWidget {
public:
    explicit BaselineSeparator(QToolBar* toolBar) : QWidget(toolBar) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        toolBar->installEventFilter(this);
        follow(*toolBar);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() &&
            (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)) {
            follow(*static_cast<QWidget*>(watched));
        }
        return false;
    }

    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), palette().color(QPalette::Mid));
    }

private:
    void follow(const QWidget& toolBar) {
        setGeometry(0, toolBar.height() - 1, toolBar.width(), 1);
        // Buttons for items added later must not cover it.
        raise();
    }
};

}  // namespace

ToolbarPreferencePaneSelectionController::ToolbarPreferencePaneSelectionController(
    std::shared_ptr<platform::NSWindow> window,
    PreferencePaneViewControllersWithToolbarItemImages viewControllers)
    : window_(std::move(window)),
      toolbar_(std::make_shared<platform::NSToolbar>()),
      viewControllers_(std::move(viewControllers)),
      selected_(viewControllers_.underlyingViewControllers().firstIdentifier()) {
    platform::precondition(window_ != nullptr, "a toolbar needs a window");
    const auto& panes = viewControllers_.underlyingViewControllers();
    for (std::size_t i = 0; i < panes.size(); ++i) {
        toolbar_->insertItemWithItemIdentifier(panes.identifierAt(i).rawValue, i);
    }
    toolbar_->setDelegate(this);
    window_->setToolbar(toolbar_);
    toolbar_->setSelectedItemIdentifier(selected_.rawValue);
    if (QToolBar* toolBar = toolbar_->toolBar()) {
        new BaselineSeparator(toolBar);
    }

    titleKeyValueObservations_.reserve(panes.size());
    for (std::size_t i = 0; i < panes.size(); ++i) {
        // The token lives in this object, so the handler never outlives it.
        titleKeyValueObservations_.push_back(
            panes[i]->observeTitle([this, i] { updateToolbarItemLabel(i); }, true));
    }
}

ToolbarPreferencePaneSelectionController::~ToolbarPreferencePaneSelectionController() {
    titleKeyValueObservations_.clear();
    // The window keeps the toolbar and its items; their clicks must not reach this object.
    for (const auto& item : toolbar_->items()) {
        item->setAction(nullptr);
    }
    toolbar_->setDelegate(nullptr);
}

void ToolbarPreferencePaneSelectionController::setSelectedPreferencePaneIdentifier(
    const PreferencePaneIdentifier& identifier) {
    selected_ = identifier;
    toolbar_->setSelectedItemIdentifier(identifier.rawValue);
}

std::shared_ptr<platform::NSToolbarItem>
ToolbarPreferencePaneSelectionController::toolbarItemForItemIdentifier(
    platform::NSToolbar&, const std::string& itemIdentifier, bool) {
    const auto& viewController = viewControllers_.underlyingViewControllers().paneWithIdentifier(
        PreferencePaneIdentifier(itemIdentifier));
    const auto* imageProvider = dynamic_cast<const ToolbarItemImageProvider*>(viewController.get());
    platform::precondition(imageProvider != nullptr,
                           "a toolbar preference pane has no toolbar image");

    auto item = std::make_shared<platform::NSToolbarItem>(itemIdentifier);
    item->setLabel(labelForTitle(viewController->title()));
    item->setImage(imageProvider->toolbarItemImage());
    item->setAction([this](QObject* sender) { performToolbarItemAction(sender); });
    return item;
}

std::vector<std::string> ToolbarPreferencePaneSelectionController::toolbarAllowedItemIdentifiers(
    platform::NSToolbar&) {
    return paneIdentifierStrings();
}

std::vector<std::string> ToolbarPreferencePaneSelectionController::toolbarDefaultItemIdentifiers(
    platform::NSToolbar&) {
    return paneIdentifierStrings();
}

std::vector<std::string> ToolbarPreferencePaneSelectionController::toolbarSelectableItemIdentifiers(
    platform::NSToolbar&) {
    return paneIdentifierStrings();
}

void ToolbarPreferencePaneSelectionController::performToolbarItemAction(QObject* sender) {
    selectToolbarItem(sender);
}

void ToolbarPreferencePaneSelectionController::selectToolbarItem(QObject* sender) {
    const auto* item = dynamic_cast<const platform::NSToolbarItem*>(sender);
    if (item == nullptr) {
        return;
    }
    toolbar_->setSelectedItemIdentifier(item->itemIdentifier());
    selected_ = PreferencePaneIdentifier(item->itemIdentifier());
    if (delegate_ != nullptr) {
        delegate_->selectionDidChange(*this);
    }
}

void ToolbarPreferencePaneSelectionController::updateToolbarItemLabel(std::size_t paneIndex) {
    const auto& panes = viewControllers_.underlyingViewControllers();
    const auto& items = toolbar_->items();
    platform::precondition(paneIndex < panes.size() && paneIndex < items.size(),
                           "no toolbar item for this preference pane");
    items[paneIndex]->setLabel(labelForTitle(panes[paneIndex]->title()));
}

std::vector<std::string> ToolbarPreferencePaneSelectionController::paneIdentifierStrings() const {
    const auto& panes = viewControllers_.underlyingViewControllers();
    std::vector<std::string> identifiers;
    identifiers.reserve(panes.size());
    for (std::size_t i = 0; i < panes.size(); ++i) {
        identifiers.push_back(panes.identifierAt(i).rawValue);
    }
    return identifiers;
}

}  // namespace preferences_window
