#include "player-interface/route-picker/QLRoutePickerView.h"

#include <QEvent>

#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"
#include "player-interface/route-picker/QLRoutePickerButton.h"

namespace quillon {

std::unique_ptr<QLRoutePickerView> QLRoutePickerView::make(
    const platform::AVOutputContextRef& outputContext, platform::AudioRouteServiceRef routes) {
    auto view = std::make_unique<QLRoutePickerView>(Passkey{}, std::move(routes));
    if (!view->bind(outputContext)) {
        return nullptr;
    }
    return view;
}

QLRoutePickerView::QLRoutePickerView(Passkey, platform::AudioRouteServiceRef routes)
    : routePickerView_(new platform::AVRoutePickerView(std::move(routes), this)) {}

QLRoutePickerView::~QLRoutePickerView() {
    if (observingAirPlayActiveProperty_) {
        airPlayActiveObservation_.remove();
    }
}

bool QLRoutePickerView::bind(const platform::AVOutputContextRef& outputContext) {
    std::string contextID;
    if (!QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* error) {
            if (outputContext) {
                contextID = outputContext->contextID();
            }
            if (contextID.empty()) {
                *error = QLMakePrivateAPIUsageError(QLPrivateAPIUsageErrorCodeMissingResult);
            }
        })) {
        return false;
    }
    if (!QLSafelyUsePrivateAPI(
            [&](QLPrivateAPIErrorSlot*) { routePickerView_->setOutputContextID(contextID); })) {
        return false;
    }

    // Out of sight and out of the accessibility tree; it only anchors the system picker.
    routePickerView_->hide();
    routePickerView_->setAttribute(Qt::WA_TransparentForMouseEvents);
    routePickerView_->setGeometry(rect());

    ql_configureRoutePickerButton(*this);
    QObject::connect(this, &QToolButton::clicked, this,
                     [this] { performRoutePickerButtonAction(this); });

    observingAirPlayActiveProperty_ = true;
    if (!QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
            airPlayActiveObservation_ = routePickerView_->observeAirPlayActive(
                [this](std::optional<bool> newValue) { observeAirPlayActiveChange(newValue); },
                true);
        })) {
        observingAirPlayActiveProperty_ = false;
    }
    return true;
}

std::shared_ptr<platform::AVRoutePickerViewDelegate> QLRoutePickerView::delegate() const {
    return routePickerView_->delegate();
}

void QLRoutePickerView::setDelegate(std::weak_ptr<platform::AVRoutePickerViewDelegate> delegate) {
    routePickerView_->setDelegate(std::move(delegate));
}

void QLRoutePickerView::observeAirPlayActiveChange(std::optional<bool> newValue) {
    bool airPlayActive = false;
    if (QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* error) {
            if (!newValue) {
                *error = QLMakePrivateAPIUsageError(QLPrivateAPIUsageErrorCodeMissingResult);
                return;
            }
            airPlayActive = *newValue;
        })) {
        configureRoutePickerButtonForAirPlayActiveStatus(airPlayActive);
    }
}

void QLRoutePickerView::configureRoutePickerButtonForAirPlayActiveStatus(bool airPlayActive) {
    contentTintColor_ = airPlayActive ? std::optional(controlAccentColor()) : std::nullopt;
    ql_configureRoutePickerButton(*this, contentTintColor_);
}

void QLRoutePickerView::performRoutePickerButtonAction(QWidget* sender) {
    // A view never shown has had no resize event yet.
    routePickerView_->setGeometry(rect());
    QLSafelyUsePrivateAPI(
        [&](QLPrivateAPIErrorSlot*) { routePickerView_->_pickerButtonPressed(sender); });
}

void QLRoutePickerView::changeEvent(QEvent* event) {
    QToolButton::changeEvent(event);
    // The symbol's colour follows the ground it sits on (the dark controls panel or a window).
    if (event->type() == QEvent::PaletteChange) {
        ql_configureRoutePickerButton(*this, contentTintColor_);
    }
}

void QLRoutePickerView::resizeEvent(QResizeEvent* event) {
    QToolButton::resizeEvent(event);
    // The system picker opens at its own frame, so it sits where the button is.
    routePickerView_->setGeometry(rect());
}

}  // namespace quillon
