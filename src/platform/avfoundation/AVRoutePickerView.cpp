#include "platform/avfoundation/AVRoutePickerView.h"

#include <QAction>
#include <QMenu>

#include <fmt/format.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/private-interfaces/NSException.h"

namespace platform {

// The observers of "airPlayActive"; shared with their tokens, which may outlive the view.
struct AVRoutePickerView::Observers {
    std::uint64_t nextKey = 0;
    std::map<std::uint64_t, AirPlayActiveObserver> observers;
};

AVRoutePickerView::AVRoutePickerView(QWidget* parent)
    : AVRoutePickerView(AudioRouteService::shared(), parent) {}

AVRoutePickerView::AVRoutePickerView(AudioRouteServiceRef routes, QWidget* parent)
    : QWidget(parent),
      routes_(std::move(routes)),
      observers_(std::make_shared<Observers>()),
      self_(std::make_shared<AVRoutePickerView*>(this)) {
    routesObservation_ = NotificationCenter::defaultCenter().addObserver(
        AudioRouteServiceRoutesDidChangeNotification,
        static_cast<const AudioRouteService*>(routes_.get()),
        [this](const Notification&) { updateOnMainQueue(); });
}

AVRoutePickerView::~AVRoutePickerView() {
    // First, so that no change is taken to the main queue any more.
    routesObservation_.remove();
    contextObservation_.remove();
    self_.reset();
    // Closed while this view is whole, so that the delegate hears that the list went; once
    // the base class ends the menu it could no longer be told.
    if (presentedRoutesMenu_) {
        presentedRoutesMenu_->hide();
    }
}

void AVRoutePickerView::setDelegate(std::weak_ptr<AVRoutePickerViewDelegate> delegate) {
    delegate_ = std::move(delegate);
}

void AVRoutePickerView::setOutputContextID(const std::string& contextID) {
    auto context = AVAudioOutputContext::contextWithID(contextID);
    if (!context) {
        throw NSException(NSInvalidArgumentException,
                          fmt::format("No output context has the identifier “{}”.", contextID));
    }
    contextObservation_.remove();
    outputContext_ = std::move(context);
    contextObservation_ = NotificationCenter::defaultCenter().addObserver(
        AVOutputContextOutputDeviceDidChangeNotification,
        static_cast<const AVOutputContext*>(outputContext_.get()),
        [this](const Notification&) { updateOnMainQueue(); });
    updateAirPlayActive();
}

void AVRoutePickerView::_pickerButtonPressed(QWidget*) {
    if (!outputContext_) {
        throw NSException(NSInternalInconsistencyException,
                          "The route picker has no output context to pick a route for.");
    }
    if (presentedRoutesMenu_) {
        return;
    }
    auto* menu = new QMenu(this);
    menu->setAccessibleName(QString::fromStdString(platform::localizedString("Audio Output", "")));
    const std::vector<AVAudioRoute> routes = routes_->routes();
    const std::optional<std::string> defaultRoute = routes_->defaultRouteID();
    const std::optional<std::string> chosen = outputContext_->outputDeviceUniqueID();
    const std::optional<std::string> current = chosen ? chosen : defaultRoute;
    for (const AVAudioRoute& route : routes) {
        QAction* action = menu->addAction(QString::fromStdString(route.localizedName));
        action->setCheckable(true);
        action->setChecked(route.deviceUniqueID == current);
        action->setData(QString::fromStdString(route.deviceUniqueID));
        const std::string deviceUniqueID = route.deviceUniqueID;
        QObject::connect(action, &QAction::triggered, this,
                         [this, deviceUniqueID] { chooseRoute(deviceUniqueID); });
    }
    if (routes.empty()) {
        menu->addAction(QString::fromStdString(platform::localizedString("No Output Devices", "")))
            ->setEnabled(false);
    }
    QObject::connect(menu, &QMenu::aboutToHide, this, [this] { routesMenuDidHide(); });
    presentedRoutesMenu_ = menu;

    if (const auto delegate = delegate_.lock()) {
        delegate->routePickerViewWillBeginPresentingRoutes(*this);
    }
    menu->popup(mapToGlobal(QPoint(0, height())));
}

void AVRoutePickerView::chooseRoute(const std::string& deviceUniqueID) {
    if (outputContext_) {
        // The default device means "wherever the server plays": the sound then follows it.
        const bool isDefault = routes_->defaultRouteID() == deviceUniqueID;
        outputContext_->setOutputDeviceUniqueID(isDefault ? std::nullopt
                                                          : std::optional(deviceUniqueID));
    }
    if (presentedRoutesMenu_) {
        presentedRoutesMenu_->hide();
    }
}

void AVRoutePickerView::routesMenuDidHide() {
    QMenu* menu = presentedRoutesMenu_;
    if (menu == nullptr) {
        return;
    }
    presentedRoutesMenu_ = nullptr;
    menu->deleteLater();
    if (const auto delegate = delegate_.lock()) {
        delegate->routePickerViewDidEndPresentingRoutes(*this);
    }
}

ObserverToken AVRoutePickerView::observeAirPlayActive(AirPlayActiveObserver observer,
                                                      bool initial) {
    const std::uint64_t key = observers_->nextKey++;
    observers_->observers.emplace(key, observer);
    if (initial) {
        observer(airPlayActive_);
    }
    std::weak_ptr<Observers> weakObservers = observers_;
    return ObserverToken([weakObservers, key] {
        if (const auto observers = weakObservers.lock()) {
            observers->observers.erase(key);
        }
    });
}

void AVRoutePickerView::updateOnMainQueue() {
    std::weak_ptr<AVRoutePickerView*> weakSelf = self_;
    DispatchQueue::main().async([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            (*self)->updateAirPlayActive();
        }
    });
}

void AVRoutePickerView::updateAirPlayActive() {
    bool active = false;
    if (outputContext_) {
        const std::optional<std::string> chosen = outputContext_->outputDeviceUniqueID();
        if (chosen && chosen != routes_->defaultRouteID()) {
            for (const AVAudioRoute& route : routes_->routes()) {
                active = active || route.deviceUniqueID == *chosen;
            }
        }
    }
    if (active == airPlayActive_) {
        return;
    }
    airPlayActive_ = active;
    // A copy: an observer may stop observing while it is told.
    const auto observers = observers_->observers;
    for (const auto& [key, observer] : observers) {
        observer(active);
    }
}

}  // namespace platform
