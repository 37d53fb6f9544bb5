#pragma once

#include <QPointer>
#include <memory>

#include "platform/avfoundation/AVOutputContext.h"
#include "platform/avfoundation/AVRouteDetector.h"
#include "platform/avfoundation/AVRoutePickerView.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/ObserverToken.h"
#include "player-interface/route-picker/QLRoutePickerView.h"

namespace quillon {

class QLRoutePickerController;

// Hears whether the route button should show and when the picker opens and closes. All
// optional.
class QLRoutePickerControllerDelegate {
public:
    virtual ~QLRoutePickerControllerDelegate() = default;
    virtual void routePickerControllerDidChangeShouldShowRoutePickerButton(
        QLRoutePickerController&, bool /*shouldShowRoutePickerButton*/) {}
    virtual void routePickerControllerWillShowRoutePicker(QLRoutePickerController&) {}
    virtual void routePickerControllerDidHideRoutePicker(QLRoutePickerController&) {}
};

// Owns the route detector and the route button of one player: the button should show only
// while more than one route is available, and the picker's opening and closing are passed on
// (the controls stay up meanwhile). Main thread only; the detector's news, which may come on
// any thread, is taken to the main queue first.
class QLRoutePickerController final : public platform::AVRoutePickerViewDelegate,
                                      public std::enable_shared_from_this<QLRoutePickerController> {
    struct Passkey {};

public:
    // Null when the button cannot be made for the output context (see QLRoutePickerView).
    static std::shared_ptr<QLRoutePickerController> make(
        const platform::AVOutputContextRef& outputContext,
        platform::AudioRouteServiceRef routes = platform::AudioRouteService::shared());

    QLRoutePickerController(Passkey, platform::AudioRouteServiceRef routes);
    ~QLRoutePickerController() override;

    bool shouldShowRoutePickerButton() const { return shouldShowRoutePickerButton_; }
    void setShouldShowRoutePickerButton(bool shouldShow) {
        shouldShowRoutePickerButton_ = shouldShow;
    }
    bool isShowingRoutePicker() const { return showingRoutePicker_; }
    void setShowingRoutePicker(bool showing) { showingRoutePicker_ = showing; }

    std::shared_ptr<QLRoutePickerControllerDelegate> delegate() const { return delegate_.lock(); }
    // Held weakly.
    void setDelegate(std::weak_ptr<QLRoutePickerControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    const std::shared_ptr<platform::AVRouteDetector>& routeDetector() const {
        return routeDetector_;
    }
    // Null once the view is gone (its new owner, the controls view, ended it).
    QLRoutePickerView* routePickerView() const { return routePickerView_; }
    QLRoutePickerView* routePickerButtonView() const { return routePickerView(); }
    // Hands the button to the view that shows it; the controller keeps a weak hold on it. Null
    // when it was handed over already.
    std::unique_ptr<QLRoutePickerView> takeRoutePickerButtonView() {
        return std::move(ownedRoutePickerView_);
    }

    // Takes the detector's answer; tells the delegate only when it changed.
    void updateShouldShowRoutePickerButton();
    void routeDetectorMultipleRoutesDetectedDidChange(const platform::Notification& notification);
    void _routeDetectorMultipleRoutesDetectedDidChange();

    void routePickerViewWillBeginPresentingRoutes(platform::AVRoutePickerView&) override;
    void routePickerViewDidEndPresentingRoutes(platform::AVRoutePickerView&) override;

private:
    bool shouldShowRoutePickerButton_ = false;
    bool showingRoutePicker_ = false;
    std::weak_ptr<QLRoutePickerControllerDelegate> delegate_;
    std::shared_ptr<platform::AVRouteDetector> routeDetector_;
    std::unique_ptr<QLRoutePickerView> ownedRoutePickerView_;
    QPointer<QLRoutePickerView> routePickerView_;
    // Ends before the detector it observes.
    platform::ObserverToken routeDetectorObservation_;
};

}  // namespace quillon
