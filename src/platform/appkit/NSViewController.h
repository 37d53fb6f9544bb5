#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSResponder.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObserverToken.h"

namespace platform {

class NSKeyedArchiver;
class NSKeyedUnarchiver;

// Controls one view, a QWidget that it makes on first use: `view()` runs `loadView` (a plain
// empty widget unless a subclass makes its own) and then `viewDidLoad`, once.
//
// The controller owns its view, also while the view sits inside another widget: the view is
// deleted with the controller. When a parent widget goes first, the view goes with it and the
// controller counts it as not loaded. A controller that goes away takes its child controllers'
// views out of its own view first, so a child that lives on keeps its view.
//
// The view appearing and disappearing (its Qt show and hide, other than the window system's
// own, such as minimizing) is reported through viewWillAppear/viewDidAppear and
// viewWillDisappear/viewDidDisappear, each pair once per change. Main thread only.
class NSViewController : public NSResponder {
public:
    NSViewController();
    virtual ~NSViewController();
    NSViewController(const NSViewController&) = delete;
    NSViewController& operator=(const NSViewController&) = delete;

    // The view, loaded on first use.
    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }
    // Makes `view` this controller's view (as `loadView` implementations do).
    void setView(std::unique_ptr<QWidget> view);

    // Makes the view; the default is a plain widget.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear() {}
    virtual void viewDidAppear() {}
    virtual void viewWillDisappear() {}
    virtual void viewDidDisappear() {}

    const std::optional<std::string>& title() const { return title_; }
    void setTitle(std::optional<std::string> title);
    // Calls `handler` after every `setTitle` (and at once when `initial`) until the token goes.
    ObserverToken observeTitle(std::function<void()> handler, bool initial);

    void addChildViewController(std::shared_ptr<NSViewController> child);
    const std::vector<std::shared_ptr<NSViewController>>& childViewControllers() const {
        return children_;
    }
    NSViewController* parentViewController() const { return parent_; }

    // The controller whose view `view` is, if any.
    static NSViewController* owning(const QWidget* view);

    // The name under which the window's restorable state keeps this controller's own state.
    const std::optional<std::string>& identifier() const { return identifier_; }
    void setIdentifier(std::optional<std::string> identifier) { identifier_ = std::move(identifier); }
    // Asks for the restorable state of the view's window to be written again soon.
    void invalidateRestorableState();
    virtual void encodeRestorableState(NSKeyedArchiver& /*coder*/) const {}
    virtual void restoreState(NSKeyedUnarchiver& /*coder*/) {}

private:
    class ViewEventFilter;

    void attachEventFilter();
    void viewVisibilityChanged(bool visible);

    QPointer<QWidget> view_;
    std::unique_ptr<ViewEventFilter> eventFilter_;
    bool isLoadingView_ = false;
    bool hasAppeared_ = false;
    std::optional<std::string> title_;
    std::optional<std::string> identifier_;
    NotificationCenter titleObservers_;
    std::vector<std::shared_ptr<NSViewController>> children_;
    NSViewController* parent_ = nullptr;
};

}  // namespace platform
