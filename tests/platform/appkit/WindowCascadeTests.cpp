#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <memory>
#include <vector>

#include "platform/appkit/NSDocument.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/appkit/WindowCascade.h"
#include "support/EventPumping.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

using quillon::test::pumpUntil;

TEST(WindowCascadeGeometryTests, StepsDownAndRightUntilTheFreeAreaEndsThenStartsAtItsTopLeft) {
    const QRect available(0, 30, 1280, 770);
    const QSize size(402, 275);
    EXPECT_EQ(WindowCascade::cascadedTopLeft({400, 300, 402, 275}, size, 21, available),
              QPoint(421, 321));
    // The bottom edge would leave the free area (the panel below it stays clear).
    EXPECT_EQ(WindowCascade::cascadedTopLeft({400, 510, 402, 275}, size, 21, available),
              QPoint(0, 30));
    // So would the right edge.
    EXPECT_EQ(WindowCascade::cascadedTopLeft({860, 300, 402, 275}, size, 21, available),
              QPoint(0, 30));
    // Exactly fitting is fine.
    EXPECT_EQ(WindowCascade::cascadedTopLeft({857, 504, 402, 275}, size, 21, available),
              QPoint(878, 525));
    // A window bigger than the free area starts at its top left.
    EXPECT_EQ(WindowCascade::cascadedTopLeft({0, 30, 1400, 900}, {1400, 900}, 21, available),
              QPoint(0, 30));
    // A window the user has dragged above the free area does not follow it off the screen.
    EXPECT_EQ(WindowCascade::cascadedTopLeft({-300, -100, 402, 275}, size, 21, available),
              QPoint(0, 30));
}

class CentredWindowController : public NSWindowController {
protected:
    std::shared_ptr<NSWindow> makeManagedWindow() override {
        // Without decorations: what is frame and what is the window's own area is then the same
        // on every window system (steps from a framed window are seen under a window manager).
        auto window =
            std::make_shared<NSWindow>(CGRect{0, 0, 300, 160}, NSWindowStyleMaskBorderless);
        auto content = std::make_unique<QWidget>();
        content->setFixedSize(300, 160);
        window->setCentralWidget(content.release());
        return window;
    }
    void windowDidLoad() override {
        window()->layoutIfNeeded();
        window()->center();
    }
};

class WindowCascadeTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& document : documents_) {
            document->close();
        }
        documents_.clear();
        pumpUntil([] { return true; });
    }

    // A document with one window controller, as the document controller makes them.
    std::shared_ptr<CentredWindowController> addDocumentWindow() {
        auto document = std::make_shared<NSDocument>();
        auto controller = std::make_shared<CentredWindowController>();
        document->addWindowController(controller);
        documents_.push_back(document);
        return controller;
    }

    // Whether the window is in the middle of the screen's free area, give or take its border
    // (centring does not count a frame that the window system adds as it shows).
    static bool isCentred(const NSWindow& window) {
        const QPoint offset = window.frameGeometry().center() -
                              QGuiApplication::primaryScreen()->availableGeometry().center();
        return offset.manhattanLength() <= 2 * decorationMargins(window).top() + 2;
    }

    static QPoint stepFrom(const NSWindow& window) {
        const int top = decorationMargins(window).top();
        const int step = top > 0 ? top : WindowCascade::fallbackStep;
        return window.frameGeometry().topLeft() + QPoint(step, step);
    }

    std::vector<std::shared_ptr<NSDocument>> documents_;
};

TEST_F(WindowCascadeTest, TheFirstWindowIsCentredAndEachLaterOneStepsFromTheLastShown) {
    auto first = addDocumentWindow();
    first->showWindow();
    EXPECT_TRUE(isCentred(*first->window()));

    auto second = addDocumentWindow();
    second->showWindow();
    EXPECT_EQ(second->window()->frameGeometry().topLeft(), stepFrom(*first->window()));
    auto third = addDocumentWindow();
    third->showWindow();
    EXPECT_EQ(third->window()->frameGeometry().topLeft(), stepFrom(*second->window()));

    // The last one shown has gone: the next steps from the last one still up, into the place
    // left free, not from the centre, where it would hide the first.
    const QPoint thirdPlace = third->window()->frameGeometry().topLeft();
    third->close();
    auto fourth = addDocumentWindow();
    fourth->showWindow();
    EXPECT_EQ(fourth->window()->frameGeometry().topLeft(), thirdPlace);

    // Shown again, a window stays where it was.
    const QPoint secondPlace = second->window()->frameGeometry().topLeft();
    second->window()->orderOut();
    second->showWindow();
    EXPECT_EQ(second->window()->frameGeometry().topLeft(), secondPlace);
}

TEST_F(WindowCascadeTest, WithNoOtherWindowUpTheNextIsCentredAgain) {
    auto progress = addDocumentWindow();
    progress->showWindow();
    progress->close();
    // A player window that takes the place of its progress window: the first on screen.
    auto player = addDocumentWindow();
    player->showWindow();
    EXPECT_TRUE(isCentred(*player->window()));
}

TEST_F(WindowCascadeTest, AWindowInFullScreenStaysSoAndIsNotSteppedFrom) {
    auto first = addDocumentWindow();
    first->showWindow();
    first->window()->toggleFullScreen();
    ASSERT_TRUE(pumpUntil([&] { return first->window()->isInFullScreen(); }));
    const QRect fullScreen = first->window()->frameGeometry();

    auto second = addDocumentWindow();
    second->showWindow();
    EXPECT_TRUE(isCentred(*second->window()));
    EXPECT_EQ(first->window()->frameGeometry(), fullScreen);
}

TEST_F(WindowCascadeTest, WindowsThatDoNotCascadeStayWhereTheyArePut) {
    auto first = addDocumentWindow();
    first->showWindow();

    auto uncascaded = addDocumentWindow();
    uncascaded->setShouldCascadeWindows(false);
    uncascaded->showWindow();
    EXPECT_TRUE(isCentred(*uncascaded->window()));

    // Not a document's window (a panel of the application).
    CentredWindowController panel;
    panel.showWindow();
    EXPECT_TRUE(isCentred(*panel.window()));
    panel.close();
}

TEST_F(WindowCascadeTest, ARestoredWindowKeepsItsFrameAndTheNextStepsFromIt) {
    auto first = addDocumentWindow();
    first->showWindow();

    // What restoration does: the stored frame, then shown, outside the controller.
    auto restored = addDocumentWindow();
    NSWindow* window = restored->window();
    window->setFrame({{100, 120}, {300, 160}}, false);
    window->show();
    WindowCascade::noteWindowShown(*window);
    EXPECT_EQ(window->frame().origin, (CGPoint{100, 120}));

    auto next = addDocumentWindow();
    next->showWindow();
    EXPECT_EQ(next->window()->frameGeometry().topLeft(), stepFrom(*window));
}

}  // namespace
}  // namespace platform
