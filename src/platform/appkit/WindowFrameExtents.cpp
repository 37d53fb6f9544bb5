#include "platform/appkit/WindowFrameExtents.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/appkit/X11Connection.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

// How long a window waits for the window manager to say how it will frame it. A window manager
// answers within milliseconds; one that does not answer by then is taken not to answer at all,
// and the window is placed from what the last framed window had.
constexpr std::chrono::milliseconds kRequestAnswerTimeout{250};
constexpr std::chrono::milliseconds kRequestPollInterval{2};

xcb_atom_t internAtom(xcb_connection_t* c, std::string_view name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

xcb_atom_t frameExtentsAtom(xcb_connection_t* c) {
    // Atoms belong to the server; the application keeps one connection for its life.
    static xcb_connection_t* internedFor = nullptr;
    static xcb_atom_t atom = XCB_ATOM_NONE;
    if (internedFor != c) {
        atom = internAtom(c, "_NET_FRAME_EXTENTS");
        internedFor = c;
    }
    return atom;
}

xcb_window_t rootWindow(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// _NET_FRAME_EXTENTS of `window`: left, right, top, bottom.
std::optional<QMargins> readExtents(xcb_connection_t* c, xcb_window_t window) {
    const auto cookie =
        xcb_get_property(c, 0, window, frameExtentsAtom(c), XCB_ATOM_CARDINAL, 0, 4);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    std::optional<QMargins> extents;
    if (reply != nullptr && reply->type == XCB_ATOM_CARDINAL && reply->format == 32 &&
        xcb_get_property_value_length(reply) == 16) {
        std::uint32_t values[4];
        std::memcpy(values, xcb_get_property_value(reply), sizeof values);
        extents = QMargins(static_cast<int>(values[0]), static_cast<int>(values[2]),
                           static_cast<int>(values[1]), static_cast<int>(values[3]));
    }
    std::free(reply);
    return extents;
}

bool windowManagerSupports(xcb_connection_t* c, xcb_atom_t atom) {
    const auto cookie = xcb_get_property(c, 0, rootWindow(c), internAtom(c, "_NET_SUPPORTED"),
                                         XCB_ATOM_ATOM, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    bool supported = false;
    if (reply != nullptr && reply->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int i = 0; i < count && !supported; ++i) {
            supported = atoms[i] == atom;
        }
    }
    std::free(reply);
    return supported;
}

// Hears the window manager publish extents on the application's windows.
class ChangeWatcher : public QAbstractNativeEventFilter {
public:
    static ChangeWatcher& shared() {
        // Installed once, for the rest of the process: the application holds it until it ends.
        static NeverDestroyed<ChangeWatcher> watcher;
        static const bool installed = [] {
            QCoreApplication::instance()->installNativeEventFilter(&watcher.get());
            return true;
        }();
        (void)installed;
        return watcher.get();
    }

    void setHandler(std::function<void(QWidget&)> handler) { handler_ = std::move(handler); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (!handler_ || eventType != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) {
            return false;
        }
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        xcb_connection_t* c = x11Connection();
        if (c == nullptr || notify->atom != frameExtentsAtom(c)) {
            return false;
        }
        if (QWidget* widget = QWidget::find(static_cast<WId>(notify->window))) {
            // Qt reads the new extents as it handles this same event: the handler runs after.
            QPointer<QWidget> window = widget;
            QMetaObject::invokeMethod(
                widget,
                [this, window] {
                    if (window && handler_) {
                        handler_(*window);
                    }
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void(QWidget&)> handler_;
};

}  // namespace

std::optional<QMargins> WindowFrameExtents::published(QWidget& window) {
    // Nothing draws around the offscreen platform's windows: the frame it reports is made up.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        return QMargins();
    }
    const WId id = window.winId();
    if (const QWindow* handle = window.windowHandle()) {
        const QMargins margins = handle->frameMargins();
        if (!margins.isNull()) {
            return margins;
        }
    }
    if (xcb_connection_t* c = x11Connection()) {
        return readExtents(c, static_cast<xcb_window_t>(id));
    }
    return std::nullopt;
}

std::optional<QMargins> WindowFrameExtents::requestFromWindowManager(QWidget& window) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr) {
        return std::nullopt;
    }
    const xcb_atom_t request = internAtom(c, "_NET_REQUEST_FRAME_EXTENTS");
    if (!windowManagerSupports(c, request)) {
        return std::nullopt;
    }
    const auto id = static_cast<xcb_window_t>(window.winId());
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = request;
    xcb_send_event(c, 0, rootWindow(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    // The answer is a property on the window: read it until it is there. Its change event
    // reaches Qt too, later, on the event loop.
    const auto deadline = std::chrono::steady_clock::now() + kRequestAnswerTimeout;
    while (true) {
        if (auto extents = readExtents(c, id)) {
            return extents;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(kRequestPollInterval);
    }
}

void WindowFrameExtents::setChangeHandler(std::function<void(QWidget&)> handler) {
    if (x11Connection() == nullptr) {
        return;
    }
    ChangeWatcher::shared().setHandler(std::move(handler));
}

}  // namespace platform
