#include "player-interface/route-picker/QLRoutePickerController.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"

namespace quillon {

QLRoutePickerController::QLRoutePickerController(Passkey, platform::AudioRouteServiceRef routes)
    : routeDetector_(std::make_shared<platform::AVRouteDetector>(std::move(routes))) {
    routeDetector_->setRouteDetectionEnabled(true);
}

QLRoutePickerController::~QLRoutePickerController() {
    routeDetectorObservation_.remove();
}

std::shared_ptr<QLRoutePickerController> QLRoutePickerController::make(
    const platform::AVOutputContextRef& outputContext, platform::AudioRouteServiceRef routes) {
    auto controller = std::make_shared<QLRoutePickerController>(Passkey{}, routes);
    auto view = QLRoutePickerView::make(outputContext, std::move(routes));
    if (!view) {
        return nullptr;
    }
    controller->routePickerView_ = view.get();
    controller->ownedRoutePickerView_ = std::move(view);
    controller->routePickerView_->setDelegate(
        std::weak_ptr<platform::AVRoutePickerViewDelegate>(controller));

    std::weak_ptr<QLRoutePickerController> weakController = controller;
    controller->routeDetectorObservation_ =
        platform::NotificationCenter::defaultCenter().addObserver(
            platform::AVRouteDetectorMultipleRoutesDetectedDidChangeNotification,
            controller->routeDetector_.get(), [weakController](const platform::Notification& note) {
                if (const auto strongController = weakController.lock()) {
                    strongController->routeDetectorMultipleRoutesDetectedDidChange(note);
                }
            });
    // No delegate yet: only the value is taken.
    controller->updateShouldShowRoutePickerButton();
    return controller;
}

void QLRoutePickerController::updateShouldShowRoutePickerButton() {
    const bool shouldShow = routeDetector_->multipleRoutesDetected();
    if (shouldShow == shouldShowRoutePickerButton_) {
        return;
    }
    shouldShowRoutePickerButton_ = shouldShow;
    if (const auto delegate = delegate_.lock()) {
        delegate->routePickerControllerDidChangeShouldShowRoutePickerButton(*this, shouldShow);
    }
}

void QLRoutePickerController::routeDetectorMultipleRoutesDetectedDidChange(
    const platform::Notification&) {
    std::weak_ptr<QLRoutePickerController> weakSelf = weak_from_this();
    platform::DispatchQueue::main().async([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->_routeDetectorMultipleRoutesDetectedDidChange();
        }
    });
}

void QLRoutePickerController::_routeDetectorMultipleRoutesDetectedDidChange() {
    updateShouldShowRoutePickerButton();
}

void QLRoutePickerController::routePickerViewWillBeginPresentingRoutes(
    platform::AVRoutePickerView&) {
    showingRoutePicker_ = true;
    if (const auto delegate = delegate_.lock()) {
        delegate->routePickerControllerWillShowRoutePicker(*this);
    }
}

void QLRoutePickerController::routePickerViewDidEndPresentingRoutes(platform::AVRoutePickerView&) {
    showingRoutePicker_ = false;
    if (const auto delegate = delegate_.lock()) {
        delegate->routePickerControllerDidHideRoutePicker(*this);
    }
}

}  // namespace quillon
