#pragma once

#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/audio-output/AudioRouteService.h"
#include "platform/avfoundation/AVAudioOutputContext.h"
#include "platform/foundation/ObserverToken.h"

namespace platform {

class AVRoutePickerView;

// Hears when the picker opens and closes its list of routes. Both methods are optional.
class AVRoutePickerViewDelegate {
public:
    virtual ~AVRoutePickerViewDelegate() = default;
    virtual void routePickerViewWillBeginPresentingRoutes(AVRoutePickerView&) {}
    virtual void routePickerViewDidEndPresentingRoutes(AVRoutePickerView&) {}
};

// The system's route picker: a list of the sound server's output devices, opened next to the
// view, in which the user chooses where the sound of an output context plays. Choosing the
// server's default device sends the sound back to wherever the server plays by default.
//
// Its public face draws nothing; callers reach it through the members below, which the platform
// does not publish (callers guard them as private interfaces): binding to an output context by
// identifier, opening the list as if a button of its own had been pressed, and the observable
// "airPlayActive" -- true while the context's sound goes to a device other than the default.
//
// Main thread only; changes that arrive on other threads are taken to the main queue.
class AVRoutePickerView : public QWidget {
public:
    // Offers the devices of the user's sound server.
    explicit AVRoutePickerView(QWidget* parent = nullptr);
    AVRoutePickerView(AudioRouteServiceRef routes, QWidget* parent = nullptr);
    ~AVRoutePickerView() override;

    std::shared_ptr<AVRoutePickerViewDelegate> delegate() const { return delegate_.lock(); }
    // Held weakly.
    void setDelegate(std::weak_ptr<AVRoutePickerViewDelegate> delegate);

    // -- Unpublished members --

    // Binds the picker to the output context of that identifier; throws an NSException
    // (NSInvalidArgumentException) when no context has it.
    void setOutputContextID(const std::string& contextID);
    // Opens the list of routes anchored below this view, unless it is open already; throws an
    // NSException (NSInternalInconsistencyException) before the picker is bound to a context.
    void _pickerButtonPressed(QWidget* sender);

    bool airPlayActive() const { return airPlayActive_; }
    // Key-value observation of "airPlayActive": the observer gets the new value on every change
    // (and at once when `initial`), on the main thread, until the token is dropped.
    using AirPlayActiveObserver = std::function<void(std::optional<bool> newValue)>;
    ObserverToken observeAirPlayActive(AirPlayActiveObserver observer, bool initial);

    // The list while it is open (for tests and accessibility), else null. Each entry's data is
    // the device's unique identifier.
    QMenu* presentedRoutesMenu() const { return presentedRoutesMenu_; }

private:
    struct Observers;

    void chooseRoute(const std::string& deviceUniqueID);
    void routesMenuDidHide();
    // Recomputes airPlayActive and tells the observers when it changed.
    void updateAirPlayActive();
    void updateOnMainQueue();

    const AudioRouteServiceRef routes_;
    std::weak_ptr<AVRoutePickerViewDelegate> delegate_;
    AVAudioOutputContextRef outputContext_;
    bool airPlayActive_ = false;
    std::shared_ptr<Observers> observers_;
    QPointer<QMenu> presentedRoutesMenu_;
    ObserverToken routesObservation_;
    ObserverToken contextObservation_;
    // Blocks on the main queue hold it weakly and do nothing once the view is gone.
    std::shared_ptr<AVRoutePickerView*> self_;
};

}  // namespace platform
