#include "platform/appkit/WindowManagerAspectHints.h"

#include "platform/appkit/X11Connection.h"
#include "platform/foundation/NeverDestroyed.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

namespace platform {

namespace {

// The normal size hints as ICCCM lays them out: eighteen 32-bit fields.
struct SizeHints {
    std::uint32_t flags;
    std::int32_t x, y, width, height;
    std::int32_t minWidth, minHeight, maxWidth, maxHeight;
    std::int32_t widthIncrement, heightIncrement;
    std::int32_t minAspectNumerator, minAspectDenominator;
    std::int32_t maxAspectNumerator, maxAspectDenominator;
    std::int32_t baseWidth, baseHeight;
    std::uint32_t windowGravity;
};
static_assert(sizeof(SizeHints) == 18 * 4);

constexpr std::uint32_t kAspectFlag = 1u << 7;
constexpr std::uint32_t kBaseSizeFlag = 1u << 8;

struct Request {
    QPointer<QWidget> window;
    std::int32_t numerator;
    std::int32_t denominator;
    std::int32_t baseHeight;
};

// The ratio in whole numbers: the components themselves when they are whole, else in
// thousandths; reduced.
std::pair<std::int32_t, std::int32_t> wholeRatio(CGSize ratio) {
    const bool whole = ratio.width == std::round(ratio.width) &&
                       ratio.height == std::round(ratio.height) && ratio.width < 1e6 &&
                       ratio.height < 1e6;
    const double scale = whole ? 1.0 : 1000.0;
    auto numerator = static_cast<std::int64_t>(std::lround(ratio.width * scale));
    auto denominator = static_cast<std::int64_t>(std::lround(ratio.height * scale));
    const std::int64_t divisor = std::gcd(numerator, denominator);
    if (divisor > 1) {
        numerator /= divisor;
        denominator /= divisor;
    }
    while (numerator > INT32_MAX || denominator > INT32_MAX) {
        numerator /= 2;
        denominator /= 2;
    }
    return {static_cast<std::int32_t>(std::max<std::int64_t>(numerator, 1)),
            static_cast<std::int32_t>(std::max<std::int64_t>(denominator, 1))};
}

// Writes the request into the window's hints unless they hold it already (so that the
// property change this makes does not bring us back here forever).
void write(xcb_connection_t* c, xcb_window_t window, const Request& request) {
    SizeHints hints{};
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        c, 0, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, sizeof(SizeHints) / 4);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr)) {
        const int length = xcb_get_property_value_length(reply);
        std::memcpy(&hints, xcb_get_property_value(reply),
                    std::min<std::size_t>(static_cast<std::size_t>(std::max(length, 0)),
                                          sizeof(SizeHints)));
        std::free(reply);
    }
    const bool wanted = request.numerator > 0;
    if (wanted) {
        if ((hints.flags & kAspectFlag) && (hints.flags & kBaseSizeFlag) &&
            hints.minAspectNumerator == request.numerator &&
            hints.minAspectDenominator == request.denominator &&
            hints.maxAspectNumerator == request.numerator &&
            hints.maxAspectDenominator == request.denominator && hints.baseWidth == 0 &&
            hints.baseHeight == request.baseHeight) {
            return;
        }
        hints.flags |= kAspectFlag | kBaseSizeFlag;
        hints.minAspectNumerator = hints.maxAspectNumerator = request.numerator;
        hints.minAspectDenominator = hints.maxAspectDenominator = request.denominator;
        hints.baseWidth = 0;
        hints.baseHeight = request.baseHeight;
    } else {
        if (!(hints.flags & kAspectFlag)) {
            return;
        }
        hints.flags &= ~kAspectFlag;
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, sizeof(SizeHints) / 4, &hints);
    xcb_flush(c);
}

// Puts the aspect fields back whenever someone (Qt) rewrites a watched window's hints.
class Watcher : public QAbstractNativeEventFilter {
public:
    static Watcher& shared() {
        // Installed once, for the rest of the process: the application holds it until it ends.
        static NeverDestroyed<Watcher> watcher;
        static const bool installed = [] {
            QCoreApplication::instance()->installNativeEventFilter(&watcher.get());
            return true;
        }();
        (void)installed;
        return watcher.get();
    }

    void set(QWidget& window, Request request) {
        prune();
        for (Request& existing : requests_) {
            if (existing.window == &window) {
                existing = request;
                return;
            }
        }
        requests_.push_back(request);
    }

    void remove(QWidget& window) {
        std::erase_if(requests_, [&](const Request& r) { return r.window == &window; });
        prune();
    }

    const Request* find(xcb_window_t id) const {
        for (const Request& request : requests_) {
            if (request.window && request.window->internalWinId() == id) {
                return &request;
            }
        }
        return nullptr;
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || requests_.empty()) {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) {
            return false;
        }
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->atom != XCB_ATOM_WM_NORMAL_HINTS || notify->state != XCB_PROPERTY_NEW_VALUE) {
            return false;
        }
        if (const Request* request = find(notify->window)) {
            if (xcb_connection_t* c = x11Connection()) {
                write(c, notify->window, *request);
            }
        }
        return false;
    }

private:
    void prune() {
        std::erase_if(requests_, [](const Request& r) { return r.window.isNull(); });
    }

    std::vector<Request> requests_;
};

}  // namespace

bool WindowManagerAspectHints::isAvailable() {
    return x11Connection() != nullptr;
}

void WindowManagerAspectHints::apply(QWidget& window, CGSize ratio, int chromeHeight) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr) {
        return;
    }
    if (ratio.width <= 0 || ratio.height <= 0) {
        clear(window);
        return;
    }
    const auto [numerator, denominator] = wholeRatio(ratio);
    const Request request{&window, numerator, denominator, std::max(chromeHeight, 0)};
    Watcher::shared().set(window, request);
    if (const WId id = window.internalWinId()) {
        write(c, static_cast<xcb_window_t>(id), request);
    }
}

void WindowManagerAspectHints::clear(QWidget& window) {
    xcb_connection_t* c = x11Connection();
    if (c == nullptr) {
        return;
    }
    Watcher::shared().remove(window);
    if (const WId id = window.internalWinId()) {
        write(c, static_cast<xcb_window_t>(id), Request{&window, 0, 0, 0});
    }
}

}  // namespace platform
