#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include "CastlinkTestSupport.h"
#include "libraries/calyxware/Label.h"
#include "libraries/calyxware/LayoutManager.h"
#include "libraries/calyxware/TextStorage.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfoTermination.h"
#include "platform/graphics/NSAttributedStringHTML.h"
#include "platform/graphics/NSFont.h"
#include "player-interface/castlink/CastlinkUninstallAlertController.h"
#include "player-interface/castlink/CastlinkView.h"
#include "player-interface/castlink/CastlinkViewController.h"
#include "player-interface/castlink/UninstallPrivilegedHelperError.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using Call = platform::ProcessInfoTermination::Call;
using test::FakeCastlinkManager;

std::string buttonTitle(CastlinkViewController& controller) {
    return controller.actionButton()->text().toStdString();
}

CastlinkClient::UninstallError launchctlFailure() {
    return CastlinkClient::UninstallError(
        CastlinkClient::UninstallError::Kind::serviceFunctionFailed,
        UninstallPrivilegedHelperError(UninstallPrivilegedHelperError::Code::launchctlFailed)
            .clone());
}

TEST(CastlinkViewController, ShowsAnEnabledUninstallButtonOnlyWhileTheToolIsInstalled) {
    FakeCastlinkManager manager;
    manager.installedVersion = PrivilegedHelperVersion(45, 1, 2, 3);
    CastlinkViewController controller(manager);
    // Loaded, not yet shown: the status is not known yet.
    EXPECT_EQ(buttonTitle(controller), "Install Castlink");
    EXPECT_FALSE(controller.actionButton()->isEnabled());

    platform::ProcessInfoTermination::ScopedCallRecording recording;
    controller.view()->show();
    EXPECT_EQ(buttonTitle(controller), "Uninstall Castlink");
    EXPECT_TRUE(controller.actionButton()->isEnabled());

    controller.actionButton()->click();
    EXPECT_EQ(manager.uninstalls, 1);
    EXPECT_EQ(buttonTitle(controller), "Install Castlink");
    EXPECT_FALSE(controller.actionButton()->isEnabled());
    // A disabled button does nothing, and neither does the action without a tool.
    controller.performAction();
    EXPECT_EQ(manager.uninstalls, 1);

    controller.view()->hide();
    EXPECT_EQ(
        recording.calls(),
        (std::vector<Call>{
            {Call::Kind::disableAutomaticTermination, "Castlink preference pane was shown."},
            {Call::Kind::enableAutomaticTermination, "Castlink preference pane was hidden."}}));
}

TEST(CastlinkViewController, AFailedUninstallShowsASheetOnItsWindowAndAFreshStatus) {
    FakeCastlinkManager manager;
    manager.installedVersion = PrivilegedHelperVersion(45, 1, 2, 3);
    manager.uninstallError = launchctlFailure();
    QWidget window;
    CastlinkViewController controller(manager);
    controller.view()->setParent(&window);
    window.show();
    ASSERT_EQ(manager.versionQueries, 1);

    controller.performAction();
    EXPECT_EQ(manager.versionQueries, 2);
    EXPECT_EQ(buttonTitle(controller), "Uninstall Castlink");
    platform::NSAlert* alert = controller.failureAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->messageText(), "Failed to uninstall Castlink.");
    EXPECT_EQ(alert->alertStyle(), platform::NSAlertStyle::warning);
    EXPECT_NE(alert->informativeText().find("launchctlFailed"), std::string::npos)
        << alert->informativeText();
    EXPECT_EQ(alert->window()->parentWidget(), &window);
    alert->alertButtons().front()->click();
    QCoreApplication::processEvents();
}

TEST(CastlinkViewController, WithoutAWindowAFailureIsDropped) {
    FakeCastlinkManager manager;
    manager.installedVersion = PrivilegedHelperVersion(45, 1, 2, 3);
    manager.uninstallError = launchctlFailure();
    CastlinkViewController controller(manager);
    controller.view()->show();
    controller.performAction();
    EXPECT_EQ(controller.failureAlert(), nullptr);
    EXPECT_EQ(manager.versionQueries, 2);
}

TEST(CastlinkView, TheDescriptionKeepsTheWordsAndLinksInTheSmallSystemFont) {
    CastlinkView view;
    view.awakeFromNib();
    const auto& text = view.descriptionLabel()->textStorage()->attributedString();
    EXPECT_NE(text.string().find("System Integrity Protection"), std::string::npos);
    EXPECT_EQ(text.string().find("<a"), std::string::npos);
    int links = 0;
    text.enumerateAttribute(platform::NSLinkAttributeName, {0, text.length()},
                            [&](const platform::NSAttributeValue* value, platform::NSRange, bool&) {
                                links += value != nullptr;
                            });
    EXPECT_EQ(links, 2);
    const auto* font = text.attributeAtIndex(platform::NSFontAttributeName, 0);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->font()->pointSize(), 11.0);

    // The paragraphs stand 8 points apart; the lines within one do not.
    calyxware::Label& label = *view.descriptionLabel();
    label.setFrameSize(platform::CGSizeMake(300, 1000));
    calyxware::LayoutManager& layout = *label.layoutManager();
    const std::size_t breakAt = text.utf16String().find(u'\n');
    ASSERT_NE(breakAt, std::u16string::npos);
    const auto endOfFirst = layout.lineFragmentRectForGlyphAtIndex(breakAt);
    const auto startOfSecond = layout.lineFragmentRectForGlyphAtIndex(breakAt + 1);
    EXPECT_DOUBLE_EQ(startOfSecond.minY() - endOfFirst.maxY(), 8.0);
    EXPECT_DOUBLE_EQ(layout.lineFragmentRectForGlyphAtIndex(0).maxY(),
                     layout.lineFragmentRectForGlyphAtIndex(60).minY())
        << "the first paragraph wraps at 300 points, without room between its lines";

    // Text that is no readable HTML shows as it is, in the same font.
    const std::string broken = "<p>Caf\xc3 broken</p>";
    view.setDescriptionHTML(broken);
    const auto& fallback = view.descriptionLabel()->textStorage()->attributedString();
    EXPECT_NE(fallback.string().find("<p>Caf"), std::string::npos);
    EXPECT_EQ(fallback.attributeAtIndex(platform::NSFontAttributeName, 0)->font()->pointSize(),
              11.0);
}

// Answers the alert with a key or a button once it runs.
void answerAlert(CastlinkUninstallAlertController& controller,
                 std::function<void(platform::NSAlert&)> answer) {
    controller.setAlertWillRunHandler([answer](platform::NSAlert& alert) {
        QTimer::singleShot(0, &alert, [&alert, answer] { answer(alert); });
    });
}

TEST(CastlinkUninstallAlert, EscapeMeansNotNowAndAFailedUninstallShowsNothingMore) {
    const std::vector<Call> expectedCalls{
        {Call::Kind::disableAutomaticTermination, "Castlink uninstall alert was shown."},
        {Call::Kind::enableAutomaticTermination, "Castlink uninstall alert was dismissed."}};
    FakeCastlinkManager manager;
    manager.installedVersion = PrivilegedHelperVersion(45, 1, 2, 3);
    CastlinkUninstallAlertController controller(manager);
    {
        platform::ProcessInfoTermination::ScopedCallRecording recording;
        std::vector<std::string> titles;
        answerAlert(controller, [&titles](platform::NSAlert& alert) {
            for (QPushButton* button : alert.alertButtons()) {
                titles.push_back(button->text().toStdString());
            }
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&alert, &escape);
        });
        controller.showAlert();
        EXPECT_EQ(titles, (std::vector<std::string>{"Uninstall", "Not Now"}));
        EXPECT_EQ(manager.uninstalls, 0);
        EXPECT_EQ(recording.calls(), expectedCalls);
    }
    {
        manager.uninstallError = launchctlFailure();
        platform::ProcessInfoTermination::ScopedCallRecording recording;
        answerAlert(controller,
                    [](platform::NSAlert& alert) { alert.alertButtons().front()->click(); });
        EXPECT_NO_THROW(controller.showAlert());
        EXPECT_EQ(manager.uninstalls, 1);
        EXPECT_EQ(recording.calls(), expectedCalls);
    }
}

// The alert over the tool itself, as at launch: what went wrong reaches the log.
TEST(CastlinkUninstallAlert, AFailedUninstallIsLoggedWithItsReason) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
    test::PrivateBus bus;
    if (bus.address().empty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    test::FakeCastlinkTool tool;
    test::PublishedTool published(bus, tool);
    ASSERT_TRUE(published.isRegistered());
    CastlinkClient client(test::connectionFactory([&bus] { return bus.qAddress(); }), 5000);
    CastlinkManager manager(client);
    CastlinkUninstallAlertController controller(manager);
    const auto uninstallThroughTheAlert = [&controller] {
        answerAlert(controller,
                    [](platform::NSAlert& alert) { alert.alertButtons().front()->click(); });
        platform::ScopedLogCapture log;
        controller.showAlert();
        return log.lines();
    };
    const std::string prefix = "Failed to uninstall privileged helper: ";

    // The tool's own reason.
    tool.uninstallAnswer = {true, UninstallPrivilegedHelperError::errorDomain, 8, ""};
    auto lines = uninstallThroughTheAlert();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(prefix + "UninstallError.serviceFunctionFailed(", 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].back(), '.');

    // A tool that claims to be gone, and a check that the bus refuses.
    tool.uninstallAnswer = {};
    tool.stillRunsAfterUninstall = true;
    tool.runningCheck = test::FakeCastlinkTool::RunningCheck::error;
    lines = uninstallThroughTheAlert();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(prefix + "UninstallError.serviceFunctionFailed(Error Domain=", 0), 0u)
        << lines[0];

    // One that has really gone: nothing to say.
    tool.stillRunsAfterUninstall = false;
    EXPECT_TRUE(uninstallThroughTheAlert().empty());
}

}  // namespace
}  // namespace quillon
