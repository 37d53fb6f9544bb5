// A window's frame under a real window manager (openbox) on a private X server: what it counts
// before the window manager has framed the window, and after. Run through
// run-under-window-manager.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/appkit/NSWindow.h"
#include "platform/appkit/X11Connection.h"
#include "support/EventPumping.h"
#include "support/WidgetApplicationEnvironment.h"
#include "support/X11ClientWindows.h"

namespace platform {
namespace {

using quillon::test::pumpUntil;
using quillon::test::ScreenRect;
using quillon::test::X11ClientWindow;
using quillon::test::X11ClientWindows;

// A titled, resizable window whose content is a 16:9 picture.
std::unique_ptr<NSWindow> makeWindow() {
    auto window = std::make_unique<NSWindow>(
        CGRect{0, 0, 640, 360},
        NSWindowStyleMaskTitled | NSWindowStyleMaskClosable | NSWindowStyleMaskResizable);
    window->setCentralWidget(new QWidget);
    window->setTitle("Frame test");
    window->setContentAspectRatio({16, 9});
    return window;
}

CGRect toCGRect(const ScreenRect& r) {
    return {{double(r.x), double(r.y)}, {double(r.width), double(r.height)}};
}

class NSWindowFrameUnderWindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(x11Connection(), nullptr) << "needs an X server (QT_QPA_PLATFORM=xcb)";
        ASSERT_TRUE(x11.isConnected());
    }

    // The window as the window manager sees it, once it has framed it and `settled` holds.
    X11ClientWindow framed(const QWidget& window,
                           const std::function<bool(const X11ClientWindow&)>& settled) {
        X11ClientWindow seen;
        pumpUntil([&] {
            for (const auto& each : x11.windows()) {
                if (each.id == window.winId()) {
                    seen = each;
                    return each.isFramed() && settled(each);
                }
            }
            return false;
        });
        return seen;
    }

    X11ClientWindows x11;
};

TEST_F(NSWindowFrameUnderWindowManagerTest, TheFrameCountsTheTitleBarBeforeTheWindowIsShown) {
    auto window = makeWindow();
    // Asked before it is shown, the window knows what the window manager will draw.
    const CGRect expected = window->frameRectForContentRect({{100, 100}, {640, 360}});
    const QMargins margins = window->frameMargins();
    window->setFrame(expected, false);
    window->show();

    const X11ClientWindow seen = framed(*window, [](const auto&) { return true; });
    ASSERT_TRUE(seen.isFramed());
    // The window manager drew what the window counted on, and put the frame where it was asked.
    EXPECT_EQ(margins, QMargins(seen.frameLeft, seen.frameTop, seen.frameRight, seen.frameBottom));
    EXPECT_EQ(toCGRect(seen.frame()), expected);
    EXPECT_EQ(window->frame(), expected);
    EXPECT_EQ(window->contentRectForFrameRect(window->frame()).size, (CGSize{640, 360}));
}

TEST_F(NSWindowFrameUnderWindowManagerTest, ACentredWindowIsCentredWithItsTitleBar) {
    auto window = makeWindow();
    window->center();
    window->show();
    const ScreenRect screen = x11.workArea();
    const auto isCentred = [&](const X11ClientWindow& seen) {
        const ScreenRect frame = seen.frame();
        return std::abs(2 * (frame.x - screen.x) + frame.width - screen.width) <= 1 &&
               std::abs(2 * (frame.y - screen.y) + frame.height - screen.height) <= 1;
    };
    const X11ClientWindow seen = framed(*window, isCentred);
    EXPECT_TRUE(isCentred(seen)) << seen.frame().x << "," << seen.frame().y << " "
                                 << seen.frame().width << "x" << seen.frame().height;
}

TEST_F(NSWindowFrameUnderWindowManagerTest, AWindowPlacedOnAWrongWordIsSetRightOnceFramed) {
    auto window = makeWindow();
    // The window manager's word on the unframed window, before the window is placed: no frame
    // at all (as a window manager that does not answer leaves it to the last framed window).
    xcb_connection_t* c = x11Connection();
    const std::uint32_t none[4] = {0, 0, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()),
                        quillon::test::x11Atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 32, 4,
                        none);
    xcb_flush(c);
    ASSERT_TRUE(pumpUntil([&] { return window->frameMargins().isNull(); }));

    // A frame as tall as the screen: on the wrong word, the window's own area is too.
    const ScreenRect screen = x11.workArea();
    const CGRect asked{{double(screen.x) + 10, double(screen.y)},
                       {double(screen.width) - 20, double(screen.height)}};
    window->setFrame(asked, false);
    window->show();

    // Once framed, the whole frame is inside the frame asked for, at its place, and the picture
    // keeps its shape.
    const auto isInside = [&](const X11ClientWindow& seen) {
        return toCGRect(seen.frame()).origin == asked.origin &&
               ScreenRect{int(asked.origin.x), int(asked.origin.y), int(asked.size.width),
                          int(asked.size.height)}
                   .contains(seen.frame());
    };
    const X11ClientWindow seen = framed(*window, isInside);
    ASSERT_TRUE(seen.isFramed());
    EXPECT_TRUE(isInside(seen)) << seen.frame().x << "," << seen.frame().y << " "
                                << seen.frame().width << "x" << seen.frame().height;
    EXPECT_EQ(seen.frame().height, screen.height);
    const QSize content = window->contentView()->size();
    EXPECT_NEAR(content.width() * 9.0 / 16.0, content.height(), 1.0);
}

}  // namespace
}  // namespace platform
