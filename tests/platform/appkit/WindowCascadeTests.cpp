#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
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

// A window of `size` that cannot be resized.
std::function<QSize(double)> fixed(QSize size) {
    return [size](double) { return size; };
}

// A window whose content of `content` can be scaled, below a menu bar and a title bar of
// `chrome` together.
std::function<QSize(double)> scalable(QSize content, QSize chrome) {
    return [=](double scale) {
        return QSize(static_cast<int>(std::lround(content.width() * scale)),
                     static_cast<int>(std::lround(content.height() * scale))) +
               chrome;
    };
}

TEST(WindowCascadeGeometryTests, StepsDownAndRightUntilTheFreeAreaEndsThenStartsAtItsTopLeft) {
    const QRect available(0, 30, 1280, 770);
    const auto size = fixed({402, 275});
    EXPECT_EQ(WindowCascade::cascadedFrame({400, 300, 402, 275}, size, 1.0, 21, available, {}),
              QRect(421, 321, 402, 275));
    // The bottom edge would leave the free area (the panel below it stays clear).
    EXPECT_EQ(WindowCascade::cascadedFrame({400, 510, 402, 275}, size, 1.0, 21, available, {}),
              QRect(0, 30, 402, 275));
    // So would the right edge.
    EXPECT_EQ(WindowCascade::cascadedFrame({860, 300, 402, 275}, size, 1.0, 21, available, {}),
              QRect(0, 30, 402, 275));
    // Exactly fitting is fine.
    EXPECT_EQ(WindowCascade::cascadedFrame({857, 504, 402, 275}, size, 1.0, 21, available, {}),
              QRect(878, 525, 402, 275));
    // A window bigger than the free area starts at its top left.
    EXPECT_EQ(WindowCascade::cascadedFrame({0, 30, 1400, 900}, fixed({1400, 900}), 1.0, 21,
                                           available, {}),
              QRect(0, 30, 1400, 900));
    // A window the user has dragged above the free area does not follow it off the screen.
    EXPECT_EQ(WindowCascade::cascadedFrame({-300, -100, 402, 275}, size, 1.0, 21, available, {}),
              QRect(0, 30, 402, 275));
}

TEST(WindowCascadeGeometryTests, NeverPutsAWindowWhereAnotherIs) {
    const QRect available(0, 30, 1280, 770);
    const auto size = fixed({402, 275});
    // The step's place is held (a window the user moved there): one more step.
    EXPECT_EQ(
        WindowCascade::cascadedFrame({100, 130, 402, 275}, size, 1.0, 21, available, {{121, 151}}),
        QRect(142, 172, 402, 275));
    // Starting again at the top left, beside the windows that did so before.
    EXPECT_EQ(WindowCascade::cascadedFrame({400, 510, 402, 275}, size, 1.0, 21, available,
                                           {{0, 30}, {21, 30}, {400, 510}}),
              QRect(42, 30, 402, 275));
}

// A 1920x1080 film on a 1600x900 screen: its window fitted to the screen, a 20-pixel title bar
// and borders of one pixel (two across, 25 down with a 4-pixel bottom edge), a menu bar of 21.
TEST(WindowCascadeGeometryTests, AWindowTooBigForTheRoomBelowTheStepShrinksKeepingItsShape) {
    const QRect screen(0, 0, 1600, 900);
    const QSize chrome(2, 25 + 21);
    const auto film = scalable({1520, 855}, chrome);
    ASSERT_EQ(film(1.0), QSize(1522, 901));
    const auto first = film(854.0 / 855.0);
    ASSERT_EQ(first.height(), 900);
    const QRect firstFrame(39, 0, first.width(), first.height());

    const QRect second =
        WindowCascade::cascadedFrame(firstFrame, film, 0.5, 20, screen, {firstFrame.topLeft()});
    EXPECT_EQ(second.topLeft(), QPoint(59, 20));
    // As big as the room allows: down to the screen's bottom edge.
    EXPECT_EQ(second.bottom(), screen.bottom());
    EXPECT_LE(second.right(), screen.right());
    // The film's shape, to the pixel.
    const QSize content = second.size() - chrome;
    EXPECT_NEAR(content.width() * 855.0 / 1520.0, content.height(), 1.0);

    // Eleven steps later there is room still.
    QRect last = second;
    std::vector<QPoint> taken{firstFrame.topLeft(), second.topLeft()};
    for (int i = 0; i < 10; ++i) {
        last = WindowCascade::cascadedFrame(last, film, 0.5, 20, screen, taken);
        taken.push_back(last.topLeft());
    }
    EXPECT_EQ(last.topLeft(), QPoint(259, 220));
    EXPECT_EQ(last.bottom(), screen.bottom());
}

TEST(WindowCascadeGeometryTests, AWindowThatWouldShrinkBelowHalfItsSizeStartsAgainAtTheTopLeft) {
    const QRect screen(0, 0, 1600, 900);
    const QSize chrome(2, 46);
    const auto film = scalable({1520, 855}, chrome);
    // Below the step, the window would keep less than half its height.
    const QRect low(500, 450, 800, 450);
    const QRect wrapped = WindowCascade::cascadedFrame(low, film, 0.5, 20, screen, {low.topLeft()});
    EXPECT_EQ(wrapped.topLeft(), QPoint(0, 0));
    EXPECT_EQ(wrapped.bottom(), screen.bottom());
    // The next to start again steps along the top edge, and may shrink to fit beside it.
    const QRect next = WindowCascade::cascadedFrame(low, film, 0.5, 20, screen,
                                                    {low.topLeft(), wrapped.topLeft()});
    EXPECT_EQ(next.topLeft(), QPoint(20, 0));
    EXPECT_EQ(next.bottom(), screen.bottom());
    // A window that may not shrink at all starts again at once.
    EXPECT_EQ(WindowCascade::cascadedFrame({600, 400, 1000, 500}, fixed({1000, 500}), 1.0, 20,
                                           screen, {{600, 400}, {0, 0}}),
              QRect(20, 0, 1000, 500));
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

    // A document with one window controller, as the document controller makes them; its window
    // of the kind `identifier` names.
    std::shared_ptr<CentredWindowController> addDocumentWindow(const std::string& identifier = {}) {
        auto document = std::make_shared<NSDocument>();
        auto controller = std::make_shared<CentredWindowController>();
        document->addWindowController(controller);
        controller->window()->setIdentifier(identifier);
        documents_.push_back(document);
        return controller;
    }

    static QPoint placeOf(NSWindowController& controller) {
        return controller.window()->frameGeometry().topLeft();
    }

    // The offscreen platform's screen is 800x800, all of it free; in its middle, a window of
    // 300x160 without decorations is at (250, 320). Windows without a title bar step by 24.
    static constexpr QPoint centre{250, 320};
    static constexpr QPoint step{24, 24};

    std::vector<std::shared_ptr<NSDocument>> documents_;
};

TEST_F(WindowCascadeTest, TheFirstWindowIsCentredAndEachLaterOneStepsFromTheLastShown) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 800, 800));
    auto first = addDocumentWindow();
    first->showWindow();
    EXPECT_EQ(placeOf(*first), centre);

    auto second = addDocumentWindow();
    second->showWindow();
    EXPECT_EQ(placeOf(*second), centre + step);
    auto third = addDocumentWindow();
    third->showWindow();
    EXPECT_EQ(placeOf(*third), centre + step * 2);

    // The last one shown has gone: the next steps from the last one still up, into the place
    // left free, not from the centre, where it would hide the first.
    third->close();
    auto fourth = addDocumentWindow();
    fourth->showWindow();
    EXPECT_EQ(placeOf(*fourth), centre + step * 2);

    // Shown again, a window stays where it was.
    second->window()->orderOut();
    second->showWindow();
    EXPECT_EQ(placeOf(*second), centre + step);
}

TEST_F(WindowCascadeTest, WindowsStepOnlyFromWindowsOfTheirOwnKind) {
    // Progress windows up while the first player comes: it is centred all the same.
    auto firstProgress = addDocumentWindow();
    firstProgress->showWindow();
    auto secondProgress = addDocumentWindow();
    secondProgress->showWindow();
    ASSERT_EQ(placeOf(*secondProgress), centre + step);

    auto firstPlayer = addDocumentWindow("player");
    firstPlayer->showWindow();
    EXPECT_EQ(placeOf(*firstPlayer), centre);
    auto secondPlayer = addDocumentWindow("player");
    secondPlayer->showWindow();
    EXPECT_EQ(placeOf(*secondPlayer), centre + step);
    // And a progress window steps from its own kind.
    auto thirdProgress = addDocumentWindow();
    thirdProgress->showWindow();
    EXPECT_EQ(placeOf(*thirdProgress), centre + step * 2);
}

TEST_F(WindowCascadeTest, WithNoOtherWindowUpTheNextIsCentredAgain) {
    auto progress = addDocumentWindow();
    progress->showWindow();
    progress->close();
    // A player window that takes the place of its progress window: the first on screen.
    auto player = addDocumentWindow();
    player->showWindow();
    EXPECT_EQ(placeOf(*player), centre);
}

TEST_F(WindowCascadeTest, AWindowInFullScreenStaysSoAndIsNotSteppedFrom) {
    auto first = addDocumentWindow();
    first->showWindow();
    first->window()->toggleFullScreen();
    ASSERT_TRUE(pumpUntil([&] { return first->window()->isInFullScreen(); }));
    const QRect fullScreen = first->window()->frameGeometry();

    auto second = addDocumentWindow();
    second->showWindow();
    EXPECT_EQ(placeOf(*second), centre);
    EXPECT_EQ(first->window()->frameGeometry(), fullScreen);
}

TEST_F(WindowCascadeTest, WindowsThatDoNotCascadeStayWhereTheyArePut) {
    auto first = addDocumentWindow();
    first->showWindow();

    auto uncascaded = addDocumentWindow();
    uncascaded->setShouldCascadeWindows(false);
    uncascaded->showWindow();
    EXPECT_EQ(placeOf(*uncascaded), centre);

    // Not a document's window (a panel of the application).
    CentredWindowController panel;
    panel.showWindow();
    EXPECT_EQ(placeOf(panel), centre);
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
    EXPECT_EQ(placeOf(*next), QPoint(124, 144));
}

}  // namespace
}  // namespace platform
