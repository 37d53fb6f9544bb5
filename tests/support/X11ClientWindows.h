#pragma once

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace quillon::test {

inline xcb_atom_t x11Atom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t result = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return result;
}

// The 32-bit items of a window property.
inline std::vector<uint32_t> x11Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name,
                                         xcb_atom_t type) {
    const auto cookie = xcb_get_property(c, 0, window, name, type, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    std::vector<uint32_t> items;
    if (reply != nullptr && reply->format == 32) {
        const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        items.assign(values, values + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return items;
}

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool contains(const ScreenRect& other) const {
        return other.x >= x && other.y >= y && other.x + other.width <= x + width &&
               other.y + other.height <= y + height;
    }
    bool containsPoint(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

// A window that the window manager manages, as a pager sees it: its title, what it is
// transient for, where its own area is and what the window manager draws around it.
struct X11ClientWindow {
    xcb_window_t id = XCB_WINDOW_NONE;
    std::string title;
    xcb_window_t transientFor = XCB_WINDOW_NONE;
    // The window's own area, in root coordinates.
    ScreenRect area;
    // _NET_FRAME_EXTENTS: left, right, top, bottom; zero until the window manager has framed it.
    int frameLeft = 0;
    int frameRight = 0;
    int frameTop = 0;
    int frameBottom = 0;
    // The window asks the window manager to keep its aspect ratio (a player window does).
    bool keepsAspectRatio = false;

    bool isFramed() const { return frameTop > 0; }
    ScreenRect frame() const {
        return {area.x - frameLeft, area.y - frameTop, area.width + frameLeft + frameRight,
                area.height + frameTop + frameBottom};
    }
    ScreenRect titleBar() const {
        return {area.x - frameLeft, area.y - frameTop, frame().width, frameTop};
    }
};

// A connection of the test's own to the X server named by DISPLAY, reading what the window
// manager publishes on the root window.
class X11ClientWindows {
public:
    X11ClientWindows() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_) == 0) {
            const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
            root_ = screen->root;
            screen_ = {0, 0, screen->width_in_pixels, screen->height_in_pixels};
        }
    }
    ~X11ClientWindows() { xcb_disconnect(c_); }
    X11ClientWindows(const X11ClientWindows&) = delete;
    X11ClientWindows& operator=(const X11ClientWindows&) = delete;

    bool isConnected() const { return root_ != XCB_WINDOW_NONE; }
    const ScreenRect& screen() const { return screen_; }

    // The screen less what panels keep (_NET_WORKAREA of the first desktop).
    ScreenRect workArea() {
        const auto values = property(root_, "_NET_WORKAREA", XCB_ATOM_CARDINAL);
        if (values.size() < 4) {
            return screen_;
        }
        return {static_cast<int>(values[0]), static_cast<int>(values[1]),
                static_cast<int>(values[2]), static_cast<int>(values[3])};
    }

    // The managed windows, bottom to top.
    std::vector<X11ClientWindow> windows() {
        std::vector<X11ClientWindow> result;
        for (const uint32_t id : property(root_, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW)) {
            X11ClientWindow window;
            window.id = id;
            window.title = text(id, "_NET_WM_NAME", "UTF8_STRING");
            const auto transient = property(id, "WM_TRANSIENT_FOR", XCB_ATOM_WINDOW);
            window.transientFor =
                transient.empty() ? xcb_window_t{XCB_WINDOW_NONE} : transient.front();
            const auto extents = property(id, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL);
            if (extents.size() == 4) {
                window.frameLeft = static_cast<int>(extents[0]);
                window.frameRight = static_cast<int>(extents[1]);
                window.frameTop = static_cast<int>(extents[2]);
                window.frameBottom = static_cast<int>(extents[3]);
            }
            const auto hints = property(id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS);
            window.keepsAspectRatio = !hints.empty() && (hints[0] & (1u << 7)) != 0;
            auto* geometry = xcb_get_geometry_reply(c_, xcb_get_geometry(c_, id), nullptr);
            auto* origin = xcb_translate_coordinates_reply(
                c_, xcb_translate_coordinates(c_, id, root_, 0, 0), nullptr);
            if (geometry != nullptr && origin != nullptr) {
                window.area = {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
            }
            std::free(geometry);
            std::free(origin);
            result.push_back(std::move(window));
        }
        return result;
    }

    // The managed windows' ids in the order the window manager first mapped them, oldest first
    // (_NET_CLIENT_LIST).
    std::vector<xcb_window_t> mappingOrder() {
        const auto ids = property(root_, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW);
        return {ids.begin(), ids.end()};
    }

    // How much of `rect` the windows above `window` in `stack` leave in sight, from 0 to 1.
    static double visibleFraction(const ScreenRect& rect, const X11ClientWindow& window,
                                  const std::vector<X11ClientWindow>& stack) {
        const auto self = std::find_if(stack.begin(), stack.end(),
                                       [&](const auto& each) { return each.id == window.id; });
        int seen = 0;
        int all = 0;
        for (int y = rect.y; y < rect.y + rect.height; y += 2) {
            for (int x = rect.x; x < rect.x + rect.width; x += 2) {
                ++all;
                seen += std::none_of(
                    self == stack.end() ? stack.end() : self + 1, stack.end(),
                    [&](const auto& above) { return above.frame().containsPoint(x, y); });
            }
        }
        return all == 0 ? 0.0 : static_cast<double>(seen) / all;
    }

    // Asks `window` to close, as its title bar's close button does.
    void askToClose(xcb_window_t window) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c_, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(c_);
    }

private:
    xcb_atom_t atom(const char* name) { return x11Atom(c_, name); }

    std::vector<uint32_t> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
        return x11Property(c_, window, name, type);
    }
    std::vector<uint32_t> property(xcb_window_t window, const char* name, xcb_atom_t type) {
        return property(window, atom(name), type);
    }

    std::string text(xcb_window_t window, const char* name, const char* type) {
        const auto cookie = xcb_get_property(c_, 0, window, atom(name), atom(type), 0, 1024);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c_, cookie, nullptr);
        std::string result;
        if (reply != nullptr && reply->format == 8) {
            result.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                          static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        }
        std::free(reply);
        return result;
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    ScreenRect screen_;
};

}  // namespace quillon::test
