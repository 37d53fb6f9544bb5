// The player window on a real X server with a real window manager: what the window system sees
// of full screen, the menu bar and the aspect ratio. Run through run-under-window-manager.
#include <xcb/xcb.h>

#include <QCursor>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "application/AppDelegate.h"
#include "application/PlayerWindowTestSupport.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowRestorationStore.h"
#include "platform/appkit/X11Connection.h"
#include "platform/foundation/NotificationCenter.h"
#include "player-interface/window/MediaPlayerWindow.h"
#include "player-interface/window/MediaPlayerWindowController.h"
#include "support/X11ClientWindows.h"

namespace quillon::test {
namespace {

using platform::x11Connection;

xcb_atom_t atom(const char* name) {
    return x11Atom(x11Connection(), name);
}

std::vector<uint32_t> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    return x11Property(x11Connection(), window, name, type);
}

bool windowManagerSaysFullScreen(const QWidget& window) {
    const auto states =
        property(static_cast<xcb_window_t>(window.winId()), atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    const xcb_atom_t fullScreen = atom("_NET_WM_STATE_FULLSCREEN");
    return std::find(states.begin(), states.end(), fullScreen) != states.end();
}

// Asks the window manager, as a pager or a key binding of its own would, to change the
// window's full-screen state (1 add, 0 remove).
void askWindowManagerForFullScreen(const QWidget& window, uint32_t add) {
    xcb_connection_t* c = x11Connection();
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window.winId());
    event.type = atom("_NET_WM_STATE");
    event.data.data32[0] = add;
    event.data.data32[1] = atom("_NET_WM_STATE_FULLSCREEN");
    event.data.data32[3] = 2;  // from a pager: the user's own request
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

// Whether the window manager has taken the window on: it sets WM_STATE then. Requests sent to a
// window it has not taken on yet are dropped.
bool isManagedByWindowManager(const QWidget& window) {
    return !property(static_cast<xcb_window_t>(window.winId()), atom("WM_STATE"), atom("WM_STATE"))
                .empty();
}

// Asks the window manager to resize the window, as the user dragging its corner does.
void askWindowManagerToResize(const QWidget& window, int width, int height) {
    xcb_connection_t* c = x11Connection();
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window.winId());
    event.type = atom("_NET_MOVERESIZE_WINDOW");
    // Gravity from the hints, width and height given, from a pager.
    event.data.data32[0] = (1u << 10) | (1u << 11) | (2u << 12);
    event.data.data32[3] = static_cast<uint32_t>(width);
    event.data.data32[4] = static_cast<uint32_t>(height);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

// The text of a window's UTF8_STRING property.
std::string stringProperty(xcb_window_t window, const char* name) {
    xcb_connection_t* c = x11Connection();
    const auto cookie = xcb_get_property(c, 0, window, atom(name), atom("UTF8_STRING"), 0, 256);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    std::string text;
    if (reply != nullptr && reply->format == 8) {
        text.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                    static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    }
    std::free(reply);
    return text;
}

// A launcher's ear on the root window, on a connection of its own: the startup-notification
// messages sent there, each put together from its pieces.
class StartupNotificationListener {
public:
    StartupNotificationListener() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_) != 0) {
            return;
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
        begin_ = intern("_NET_STARTUP_INFO_BEGIN");
        more_ = intern("_NET_STARTUP_INFO");
    }
    ~StartupNotificationListener() { xcb_disconnect(c_); }
    StartupNotificationListener(const StartupNotificationListener&) = delete;
    StartupNotificationListener& operator=(const StartupNotificationListener&) = delete;

    bool isListening() const { return root_ != XCB_WINDOW_NONE; }

    // The messages completed so far.
    const std::vector<std::string>& messages() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
                if (message->format == 8 && (message->type == begin_ || message->type == more_)) {
                    if (message->type == begin_) {
                        partial_.clear();
                    }
                    const char* data = reinterpret_cast<const char*>(message->data.data8);
                    const char* end = static_cast<const char*>(std::memchr(data, 0, 20));
                    partial_.append(data, end != nullptr ? end : data + 20);
                    if (end != nullptr) {
                        messages_.push_back(std::exchange(partial_, {}));
                    }
                }
            }
            std::free(event);
        }
        return messages_;
    }

private:
    xcb_atom_t intern(const char* name) {
        const auto cookie = xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c_, cookie, nullptr);
        const xcb_atom_t result = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return result;
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    xcb_atom_t begin_ = XCB_ATOM_NONE;
    xcb_atom_t more_ = XCB_ATOM_NONE;
    std::string partial_;
    std::vector<std::string> messages_;
};

class PlayerWindowUnderWindowManagerTest : public PlayerWindowTest {
protected:
    void SetUp() override {
        ASSERT_NE(x11Connection(), nullptr) << "needs an X server (QT_QPA_PLATFORM=xcb)";
        PlayerWindowTest::SetUp();
    }

    platform::NSWindow* openWindow(const std::string& name) {
        MediaPlayerWindowController* windowController = openPlayerWindow(name);
        return windowController != nullptr ? windowController->window() : nullptr;
    }

    void recordFullScreenNotifications(platform::NSWindow& window) {
        for (const char* name : {platform::NSWindowWillEnterFullScreenNotification,
                                 platform::NSWindowDidEnterFullScreenNotification,
                                 platform::NSWindowWillExitFullScreenNotification,
                                 platform::NSWindowDidExitFullScreenNotification}) {
            tokens_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
                name, &window, [this, name](const platform::Notification&) {
                    notifications_.push_back(std::string(name).substr(8));
                }));
        }
    }

    static QAction* viewMenuItem(platform::NSWindow& window, const QString& title) {
        for (QAction* menu : window.menuBar()->actions()) {
            if (menu->menu() != nullptr && menu->text() == "&View") {
                emit menu->menu()->aboutToShow();
                for (QAction* item : menu->menu()->actions()) {
                    if (item->text() == title) {
                        return item;
                    }
                }
            }
        }
        return nullptr;
    }

    // The window's own area, without decorations, is the whole screen.
    static bool coversScreen(const QWidget& window) {
        return window.screen() != nullptr && window.geometry() == window.screen()->geometry();
    }

    std::vector<platform::ObserverToken> tokens_;
    std::vector<std::string> notifications_;
};

TEST_F(PlayerWindowUnderWindowManagerTest, FullScreenFromTheMenuCoversTheScreenAndEscapeLeavesIt) {
    platform::NSWindow* window = openWindow("h264-bt709.mkv");
    ASSERT_NE(window, nullptr);
    recordFullScreenNotifications(*window);
    const QRect windowed = window->geometry();
    ASSERT_TRUE(window->menuWidget() != nullptr && window->menuWidget()->isVisible());

    QAction* enter = viewMenuItem(*window, "Enter Full Screen");
    ASSERT_NE(enter, nullptr);
    enter->trigger();
    ASSERT_TRUE(pumpUntil([&] {
        return window->isInFullScreen() && coversScreen(*window) &&
               windowManagerSaysFullScreen(*window);
    })) << window->isInFullScreen()
        << " " << windowManagerSaysFullScreen(*window) << " " << window->geometry().width() << "x"
        << window->geometry().height();
    EXPECT_FALSE(window->menuWidget()->isVisible());
    // The picture takes the whole window: nothing sits above the content.
    EXPECT_EQ(window->contentView()->geometry(), window->rect());
    EXPECT_EQ(notifications_, (std::vector<std::string>{"WillEnterFullScreenNotification",
                                                        "DidEnterFullScreenNotification"}));

    // The menu bar comes back at the top edge and goes again below it.
    QCursor::setPos(window->screen()->geometry().center().x(), 0);
    EXPECT_TRUE(pumpUntil([&] { return window->menuWidget()->isVisible(); }));
    QCursor::setPos(window->screen()->geometry().center());
    EXPECT_TRUE(pumpUntil([&] { return !window->menuWidget()->isVisible(); }));

    QTest::keyClick(window, Qt::Key_Escape);
    ASSERT_TRUE(pumpUntil([&] {
        return !window->isInFullScreen() && !windowManagerSaysFullScreen(*window) &&
               std::abs(window->width() - windowed.width()) <= 2 &&
               std::abs(window->height() - windowed.height()) <= 2;
    })) << window->width()
        << "x" << window->height() << " was " << windowed.width() << "x" << windowed.height();
    EXPECT_TRUE(window->menuWidget()->isVisible());
    EXPECT_EQ(notifications_,
              (std::vector<std::string>{
                  "WillEnterFullScreenNotification", "DidEnterFullScreenNotification",
                  "WillExitFullScreenNotification", "DidExitFullScreenNotification"}));
}

TEST_F(PlayerWindowUnderWindowManagerTest, AFullScreenChangeByTheWindowManagerIsTheWindowsToo) {
    platform::NSWindow* window = openWindow("h264-bt709.mkv");
    ASSERT_NE(window, nullptr);
    recordFullScreenNotifications(*window);

    askWindowManagerForFullScreen(*window, 1);
    ASSERT_TRUE(pumpUntil([&] { return window->isInFullScreen() && coversScreen(*window); }));
    EXPECT_FALSE(window->menuWidget()->isVisible());
    askWindowManagerForFullScreen(*window, 0);
    ASSERT_TRUE(pumpUntil([&] { return !window->isInFullScreen(); }));
    EXPECT_TRUE(window->menuWidget()->isVisible());
    EXPECT_EQ(notifications_,
              (std::vector<std::string>{
                  "WillEnterFullScreenNotification", "DidEnterFullScreenNotification",
                  "WillExitFullScreenNotification", "DidExitFullScreenNotification"}));
}

TEST_F(PlayerWindowUnderWindowManagerTest,
       TheWindowShowsThePictureBelowTheMenuBarAndKeepsItsShape) {
    platform::NSWindow* window = openWindow("h264-bt709.mkv");
    ASSERT_NE(window, nullptr);
    const platform::CGSize ratio = window->contentAspectRatio();
    ASSERT_GT(ratio.width, 0);
    const auto contentMatchesRatio = [&] {
        const QSize content = window->contentView()->size();
        return std::abs(content.height() - content.width() * ratio.height / ratio.width) <= 2;
    };
    // The menu bar is counted in the frame: the content has the picture's shape from the start.
    EXPECT_TRUE(contentMatchesRatio())
        << window->contentView()->width() << "x" << window->contentView()->height();

    // The window manager knows the ratio.
    const auto hints = property(static_cast<xcb_window_t>(window->winId()),
                                XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS);
    ASSERT_GE(hints.size(), 17u);
    EXPECT_TRUE(hints[0] & (1u << 7));
    EXPECT_EQ(static_cast<int>(hints[16]), window->chromeHeight(window->width()));

    ASSERT_TRUE(pumpUntil([&] { return isManagedByWindowManager(*window); }));
    const QSize before = window->size();
    askWindowManagerToResize(*window, before.width() + 160, before.height());
    EXPECT_TRUE(pumpUntil([&] {
        return window->width() != before.width() && contentMatchesRatio();
    })) << window->width()
        << "x" << window->height();

    // A resize the window manager does not shape is put right by the window.
    window->resize(window->width() + 100, window->height() + 120);
    EXPECT_TRUE(pumpUntil([&] { return contentMatchesRatio(); }))
        << window->width() << "x" << window->height();
}

TEST_F(PlayerWindowUnderWindowManagerTest, ALaterLaunchsBusyCursorEndsAsItsWindowComesForward) {
    StartupNotificationListener launcher;
    ASSERT_TRUE(launcher.isListening());
    platform::NSWindow* first = openWindow("h264-bt709.mkv");
    ASSERT_NE(first, nullptr);

    // A launch without files: the window on screen comes forward, tagged with the launch's id,
    // and the launcher hears the end of its notification (the space in the id escaped).
    const std::string id = "launcher/quillon player-7_TIME1234";
    application_->activate({"", id});
    ASSERT_TRUE(pumpUntil([&] { return !launcher.messages().empty(); }));
    EXPECT_EQ(launcher.messages(),
              std::vector<std::string>{"remove: ID=launcher/quillon\\ player-7_TIME1234"});
    EXPECT_EQ(stringProperty(static_cast<xcb_window_t>(first->winId()), "_NET_STARTUP_ID"), id);

    // A launch with a file: its notification ends when the new window shows. Its player gets
    // renderers of its own: one renderer plays for one player only.
    auto secondLayer = std::make_shared<RecordingDisplayLayer>();
    auto secondRenderer = std::make_shared<RecordingAudioRenderer>(clock);
    controller.setDocumentFactory([&](const std::string&) {
        auto document = std::make_shared<MediaPlayerDocument>();
        MediaPlayer::Environment environment = this->environment();
        environment.displayLayer = secondLayer;
        environment.audioRenderer = secondRenderer;
        document->setMediaPlayerEnvironment(environment);
        return document;
    });
    application_->openURLs({platform::URL::fileURL(mediaPath("vp9-opus.webm"))},
                           {"", "launcher/quillon-player-8_TIME1240"});
    ASSERT_TRUE(pumpUntil([&] { return launcher.messages().size() == 2; }));
    EXPECT_EQ(launcher.messages()[1], "remove: ID=launcher/quillon-player-8_TIME1240");
    EXPECT_TRUE(application_->pendingLaunchActivation().isEmpty());
    // The message went with the progress window; the player's window follows before the end.
    ASSERT_TRUE(pumpUntil([] {
        int shown = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            shown += dynamic_cast<MediaPlayerWindow*>(widget) != nullptr && widget->isVisible();
        }
        return shown == 2;
    }));
}

TEST_F(PlayerWindowUnderWindowManagerTest,
       AFileOpenedAtLaunchStaysInFrontOfTheWindowsThatComeBack) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string storePath = directory.filePath("windows.cbor").toStdString();
    {
        // The previous launch quit with one window open.
        platform::NSWindowRestorationStore previous(storePath);
        ASSERT_NE(openWindow("h264-bt709.mkv"), nullptr);
        previous.writeNow();
    }
    auto documents = controller.documents();
    for (const auto& document : documents) {
        document->close();
    }
    documents.clear();
    const auto shownPlayerWindows = [] {
        std::vector<MediaPlayerWindow*> shown;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = dynamic_cast<MediaPlayerWindow*>(widget);
                window && window->isVisible()) {
                shown.push_back(window);
            }
        }
        return shown;
    };
    ASSERT_TRUE(pumpUntil([&] { return shownPlayerWindows().empty(); }));

    // This launch: each player with renderers of its own; the file asked for is up first, then
    // the stored window comes back.
    controller.setDocumentFactory([&](const std::string&) {
        auto document = std::make_shared<MediaPlayerDocument>();
        MediaPlayer::Environment environment = this->environment();
        environment.displayLayer = std::make_shared<RecordingDisplayLayer>();
        environment.audioRenderer = std::make_shared<RecordingAudioRenderer>(clock);
        document->setMediaPlayerEnvironment(environment);
        return document;
    });
    platform::NSWindow* asked = openWindow("vp9-opus.webm");
    ASSERT_NE(asked, nullptr);
    platform::NSWindowRestorationStore store(storePath);
    store.restoreWindows(controller, application_.get());
    QWidget* restored = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        for (MediaPlayerWindow* window : shownPlayerWindows()) {
            if (window != asked && window->windowHandle()->isExposed() &&
                isManagedByWindowManager(*window)) {
                restored = window;
            }
        }
        return restored != nullptr && !store.isRestoring();
    }));

    // The window manager stacks the asked-for window above the one that came back, and keeps
    // it active.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x11Connection())).data->root;
    const auto askedId = static_cast<uint32_t>(asked->winId());
    const auto restoredId = static_cast<uint32_t>(restored->winId());
    // The window manager lists a window as it maps it and restacks it when it handles the
    // request to lower it, later: the wait is for the order itself.
    std::vector<uint32_t> stacking;
    std::vector<uint32_t> active;
    const auto place = [&](uint32_t id) {
        return std::find(stacking.begin(), stacking.end(), id) - stacking.begin();
    };
    const bool settled = pumpUntil([&] {
        stacking = property(root, atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
        active = property(root, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
        return std::count(stacking.begin(), stacking.end(), restoredId) == 1 &&
               std::count(stacking.begin(), stacking.end(), askedId) == 1 &&
               place(askedId) > place(restoredId) && active == std::vector<uint32_t>{askedId} &&
               QApplication::activeWindow() == asked;
    });
    EXPECT_TRUE(settled) << "asked-for window " << askedId << " at " << place(askedId)
                         << ", restored " << restoredId << " at " << place(restoredId) << " of "
                         << stacking.size() << "; active "
                         << (active.empty() ? 0u : active.front());
    EXPECT_EQ(QApplication::activeWindow(), asked);
}

}  // namespace
}  // namespace quillon::test
