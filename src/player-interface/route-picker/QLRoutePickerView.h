#pragma once

#include <QToolButton>
#include <memory>
#include <optional>

#include "platform/avfoundation/AVOutputContext.h"
#include "platform/avfoundation/AVRoutePickerView.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/graphics/NSColor.h"

namespace quillon {

// The player's own route button, with the system's route picker kept hidden behind it and bound
// to the output context through which the player's audio plays: pressing the button opens the
// system picker there, and the button's symbol takes the accent colour while the sound goes to
// another device than the default one.
//
// The view is the button (so it sizes, aligns and takes focus as the button does); the hidden
// picker is a child that follows its frame. Main thread only.
class QLRoutePickerView : public QToolButton {
    struct Passkey {};

public:
    // Null when the output context cannot be bound (no context, no identifier, or the system
    // picker refuses it); the failure was logged.
    static std::unique_ptr<QLRoutePickerView> make(
        const platform::AVOutputContextRef& outputContext,
        platform::AudioRouteServiceRef routes = platform::AudioRouteService::shared());

    explicit QLRoutePickerView(Passkey, platform::AudioRouteServiceRef routes);
    ~QLRoutePickerView() override;

    bool observingAirPlayActiveProperty() const { return observingAirPlayActiveProperty_; }
    platform::AVRoutePickerView* routePickerView() const { return routePickerView_; }
    QToolButton* routePickerButton() { return this; }

    // The hidden picker's delegate, held weakly.
    std::shared_ptr<platform::AVRoutePickerViewDelegate> delegate() const;
    void setDelegate(std::weak_ptr<platform::AVRoutePickerViewDelegate> delegate);

    // The accent colour while AirPlay is active, otherwise none (the controls' own tint).
    void configureRoutePickerButtonForAirPlayActiveStatus(bool airPlayActive);
    const std::optional<platform::NSColor>& contentTintColor() const { return contentTintColor_; }

    // Opens the system picker as if its own button had been pressed; a failure is dropped.
    void performRoutePickerButtonAction(QWidget* sender);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool bind(const platform::AVOutputContextRef& outputContext);
    void observeAirPlayActiveChange(std::optional<bool> newValue);

    bool observingAirPlayActiveProperty_ = false;
    // A child: Qt ends it with this view.
    platform::AVRoutePickerView* routePickerView_;
    std::optional<platform::NSColor> contentTintColor_;
    platform::ObserverToken airPlayActiveObservation_;
};

}  // namespace quillon
