#include <gtest/gtest.h>

#include <QPushButton>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSWindow.h"
#include "support/EventPumping.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

using quillon::test::pumpUntil;

NSAlert* shownAlert(const NSWindow& window) {
    for (QObject* child : window.children()) {
        if (auto* alert = dynamic_cast<NSAlert*>(child); alert && alert->isVisible()) {
            return alert;
        }
    }
    return nullptr;
}

// The window's own area is put at a known place, so that the sheet's place can be held to
// numbers: on the offscreen platform no window manager adds a frame, and a window's frame is its
// own area.
class NSAlertSheetTest : public ::testing::Test {
protected:
    NSAlertSheetTest()
        : window({{0, 0}, {480, 300}}, NSWindowStyleMaskTitled | NSWindowStyleMaskResizable) {
        window.setTitle("Opening Night.mkv");
        window.setGeometry(QRect(200, 150, 480, 300));
        window.show();
    }
    void SetUp() override { ASSERT_EQ(window.geometry(), QRect(200, 150, 480, 300)); }

    NSAlert* begin(std::unique_ptr<NSAlert> alert) {
        NSAlert::beginSheetModalForWindow(std::move(alert), &window,
                                          [this](NSModalResponse r) { response = r; });
        NSAlert* shown = shownAlert(window);
        if (shown != nullptr) {
            pumpUntil([&] { return shown->windowHandle()->isExposed(); });
        }
        return shown;
    }

    // Whether the sheet's frame hangs from `top`, centred on `centreX` (to a pixel, as an odd
    // width cannot be halved).
    static bool hangsAt(const QWidget& sheet, int top, int centreX) {
        const QRect frame = sheet.frameGeometry();
        return frame.top() == top && std::abs(frame.left() + frame.width() / 2 - centreX) <= 1;
    }
    static std::string placeOf(const QWidget& sheet) {
        const QRect frame = sheet.frameGeometry();
        return std::to_string(frame.left()) + "," + std::to_string(frame.top()) + " " +
               std::to_string(frame.width()) + "x" + std::to_string(frame.height());
    }

    NSWindow window;
    std::optional<NSModalResponse> response;
};

TEST_F(NSAlertSheetTest, ASheetIsTransientForItsWindowBelowItsTitleBarAndNamedLikeIt) {
    auto alert = std::make_unique<NSAlert>();
    alert->setMessageText("Unable to open the file.");
    NSAlert* sheet = begin(std::move(alert));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowHandle()->transientParent(), window.windowHandle());
    // The title handed to the window system for the sheet's own window.
    EXPECT_EQ(sheet->windowHandle()->title(), QString("Opening Night.mkv"));
    // Below the title bar, which ends where the window's own area begins at 150; centred on the
    // window, whose 480 points start at 200.
    EXPECT_TRUE(hangsAt(*sheet, 150, 440)) << placeOf(*sheet);
    EXPECT_EQ(window.sheets().size(), 1u);

    // It goes with its window.
    window.move(window.pos() + QPoint(60, 40));
    EXPECT_TRUE(pumpUntil([&] { return hangsAt(*sheet, 190, 500); })) << placeOf(*sheet);

    sheet->alertButtons().front()->click();
    EXPECT_TRUE(pumpUntil([&] { return response.has_value(); }));
    EXPECT_EQ(*response, NSAlertFirstButtonReturn);
    EXPECT_TRUE(window.sheets().empty());
}

TEST_F(NSAlertSheetTest, ASheetWithATitleOfItsOwnKeepsIt) {
    auto alert = std::make_unique<NSAlert>();
    alert->setWindowTitle("Subtitles");
    NSAlert* sheet = begin(std::move(alert));
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowHandle()->title(), QString("Subtitles"));
    EXPECT_TRUE(hangsAt(*sheet, 150, 440)) << placeOf(*sheet);
    sheet->alertButtons().front()->click();
    EXPECT_TRUE(pumpUntil([&] { return response.has_value(); }));
}

}  // namespace
}  // namespace platform
