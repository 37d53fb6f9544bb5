#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSCursor.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

class PointerTest : public ::testing::Test {
protected:
    PointerTest() {
        window.resize(200, 200);
        window.show();
        QCursor::setPos(window.mapToGlobal(QPoint(50, 50)));
        QCoreApplication::processEvents();
    }
    ~PointerTest() override { NSCursor::setHiddenUntilMouseMoves(false); }

    void moveEvent(QPoint location) {
        QMouseEvent event(QEvent::MouseMove, location, window.mapToGlobal(location), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.windowHandle(), &event);
    }

    QWidget window;
};

TEST_F(PointerTest, HiddenUntilTheMouseMovesElsewhere) {
    NSCursor::setHiddenUntilMouseMoves(true);
    NSCursor::setHiddenUntilMouseMoves(true);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);

    // A move that Qt makes up where the pointer already rests is no movement.
    moveEvent({50, 50});
    EXPECT_TRUE(NSCursor::isHiddenUntilMouseMoves());

    QCursor::setPos(window.mapToGlobal(QPoint(60, 50)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(NSCursor::isHiddenUntilMouseMoves());
    // Hidden twice, shown by one movement.
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(PointerTest, ShownAtOnceOnRequest) {
    NSCursor::setHiddenUntilMouseMoves(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    NSCursor::setHiddenUntilMouseMoves(true);
    NSCursor::setHiddenUntilMouseMoves(false);
    EXPECT_FALSE(NSCursor::isHiddenUntilMouseMoves());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(NSAnimationContext, AlphaReadsTheTargetAtOnceAndTheEffectGetsThere) {
    QWidget view;
    EXPECT_DOUBLE_EQ(alphaValue(&view), 1.0);
    EXPECT_DOUBLE_EQ(NSAnimationContext::currentDuration(), 0.25);

    NSAnimationContext::runAnimationGroup(0.05, [&] {
        EXPECT_DOUBLE_EQ(NSAnimationContext::currentDuration(), 0.05);
        NSAnimationContext::runAnimationGroup(0, [] {});
        EXPECT_DOUBLE_EQ(NSAnimationContext::currentDuration(), 0.05);
        animator(&view).setAlphaValue(0);
    });
    EXPECT_DOUBLE_EQ(alphaValue(&view), 0.0);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view.graphicsEffect());
    ASSERT_NE(effect, nullptr);
    EXPECT_DOUBLE_EQ(effect->opacity(), 1.0);  // the fade has only begun

    QDeadlineTimer deadline(5000);
    while (effect->opacity() > 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.0);

    // A change without animation ends a running fade where it was going.
    NSAnimationContext::runAnimationGroup(10, [&] { animator(&view).setAlphaValue(1); });
    setAlphaValue(&view, 0.5);
    QCoreApplication::processEvents();
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.5);
    EXPECT_DOUBLE_EQ(alphaValue(&view), 0.5);
}

}  // namespace
}  // namespace platform
