#include "platform/appkit/NSViewController.h"

#include <QEvent>
#include <QVariant>

#include "platform/appkit/NSWindow.h"
#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

constexpr const char* kTitleDidChange = "title";
constexpr const char* kViewControllerProperty = "quillon.viewController";

}  // namespace

// Turns the view's show and hide events into the controller's appearance calls. Spontaneous
// events come from the window system (a window minimized or restored) and do not count.
class NSViewController::ViewEventFilter : public QObject {
public:
    explicit ViewEventFilter(NSViewController& controller) : controller_(controller) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == controller_.view_ && !event->spontaneous()) {
            if (event->type() == QEvent::Show) {
                controller_.viewVisibilityChanged(true);
            } else if (event->type() == QEvent::Hide) {
                controller_.viewVisibilityChanged(false);
            }
        }
        return false;
    }

private:
    NSViewController& controller_;
};

NSViewController::NSViewController() = default;

NSViewController::~NSViewController() {
    if (view_.isNull()) {
        return;
    }
    view_->removeEventFilter(eventFilter_.get());
    for (const auto& child : children_) {
        child->parent_ = nullptr;
        if (child->isViewLoaded() && view_->isAncestorOf(child->view_)) {
            child->view_->setParent(nullptr);
        }
    }
    delete view_.data();
}

QWidget* NSViewController::view() {
    if (view_.isNull()) {
        precondition(!isLoadingView_, "loadView must make a view without asking for it");
        isLoadingView_ = true;
        hasAppeared_ = false;
        loadView();
        isLoadingView_ = false;
        precondition(!view_.isNull(), "loadView did not make a view");
        viewDidLoad();
    }
    return view_.data();
}

void NSViewController::setView(std::unique_ptr<QWidget> view) {
    precondition(view != nullptr, "a view controller needs a view");
    if (!view_.isNull()) {
        view_->removeEventFilter(eventFilter_.get());
        delete view_.data();
    }
    view_ = view.release();
    view_->setProperty(kViewControllerProperty, QVariant::fromValue(static_cast<void*>(this)));
    hasAppeared_ = view_->isVisible();
    attachEventFilter();
}

NSViewController* NSViewController::owning(const QWidget* view) {
    if (view == nullptr) {
        return nullptr;
    }
    const QVariant value = view->property(kViewControllerProperty);
    auto* controller = static_cast<NSViewController*>(value.value<void*>());
    // The controller deletes its view when it goes, so a view that still carries the mark has a
    // live controller; a view it replaced does not count.
    return controller != nullptr && controller->view_ == view ? controller : nullptr;
}

void NSViewController::invalidateRestorableState() {
    if (!view_.isNull()) {
        if (NSWindow* window = windowOfView(view_.data())) {
            window->invalidateRestorableState();
        }
    }
}

void NSViewController::loadView() {
    setView(std::make_unique<QWidget>());
}

void NSViewController::attachEventFilter() {
    if (!eventFilter_) {
        eventFilter_ = std::make_unique<ViewEventFilter>(*this);
    }
    view_->installEventFilter(eventFilter_.get());
}

void NSViewController::viewVisibilityChanged(bool visible) {
    if (visible == hasAppeared_) {
        return;
    }
    hasAppeared_ = visible;
    if (visible) {
        viewWillAppear();
        viewDidAppear();
    } else {
        viewWillDisappear();
        viewDidDisappear();
    }
}

void NSViewController::setTitle(std::optional<std::string> title) {
    title_ = std::move(title);
    titleObservers_.post(kTitleDidChange, this);
}

ObserverToken NSViewController::observeTitle(std::function<void()> handler, bool initial) {
    precondition(static_cast<bool>(handler), "a title observation needs a handler");
    if (initial) {
        handler();
    }
    return titleObservers_.addObserver(
        kTitleDidChange, this, [handler = std::move(handler)](const Notification&) { handler(); });
}

void NSViewController::addChildViewController(std::shared_ptr<NSViewController> child) {
    precondition(child != nullptr && child.get() != this, "not a possible child view controller");
    precondition(child->parent_ == nullptr, "the view controller already has a parent");
    child->parent_ = this;
    children_.push_back(std::move(child));
}

}  // namespace platform
