#include <gtest/gtest.h>

#include <QPushButton>
#include <QWindow>
#include <memory>
#include <optional>

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

class NSAlertSheetTest : public ::testing::Test {
protected:
    NSAlertSheetTest() : window({{200, 150}, {480, 300}}, NSWindowStyleMaskTitled) {
        window.setTitle("Opening Night.mkv");
        window.show();
    }

    NSAlert* begin(std::unique_ptr<NSAlert> alert) {
        NSAlert::beginSheetModalForWindow(std::move(alert), &window,
                                          [this](NSModalResponse r) { response = r; });
        NSAlert* shown = shownAlert(window);
        if (shown != nullptr) {
            pumpUntil([&] { return shown->windowHandle()->isExposed(); });
        }
        return shown;
    }

    static bool sitsBelowTheTitleBar(const QWidget& sheet, const QWidget& window) {
        const QRect frame = sheet.frameGeometry();
        const QRect parent = window.geometry();
        return frame.top() == parent.top() &&
               std::abs(frame.center().x() - parent.center().x()) <= 1;
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
    EXPECT_EQ(sheet->windowTitle(), QString("Opening Night.mkv"));
    EXPECT_TRUE(sitsBelowTheTitleBar(*sheet, window))
        << sheet->frameGeometry().x() << "," << sheet->frameGeometry().y() << " on "
        << window.geometry().x() << "," << window.geometry().y();
    EXPECT_EQ(window.sheets().size(), 1u);

    // It goes with its window.
    window.move(window.pos() + QPoint(60, 40));
    EXPECT_TRUE(pumpUntil([&] { return sitsBelowTheTitleBar(*sheet, window); }));

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
    EXPECT_EQ(sheet->windowTitle(), QString("Subtitles"));
    sheet->alertButtons().front()->click();
    EXPECT_TRUE(pumpUntil([&] { return response.has_value(); }));
}

}  // namespace
}  // namespace platform
