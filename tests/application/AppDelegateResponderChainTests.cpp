#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

#include "AppDelegateTestSupport.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"

namespace quillon::test {
namespace {

// Takes the actions it is told to and notes every action that reaches it.
struct Recorder {
    std::vector<std::string>* log = nullptr;
    std::string name;
    std::vector<std::string> handled;

    bool tryToPerform(std::string_view action) {
        log->push_back(name + " " + std::string(action));
        return std::find(handled.begin(), handled.end(), action) != handled.end();
    }
};

class RecordingViewController : public platform::NSViewController {
public:
    explicit RecordingViewController(Recorder recorder) : recorder_(std::move(recorder)) {}
    bool tryToPerform(std::string_view action, QObject* /*sender*/) override {
        return recorder_.tryToPerform(action);
    }

private:
    Recorder recorder_;
};

class RecordingWindowController : public platform::NSWindowController {
public:
    RecordingWindowController(std::shared_ptr<platform::NSWindow> window, Recorder recorder)
        : platform::NSWindowController(std::move(window)), recorder_(std::move(recorder)) {}
    bool tryToPerform(std::string_view action, QObject* /*sender*/) override {
        return recorder_.tryToPerform(action);
    }

private:
    Recorder recorder_;
};

// A key window: content view controller > a child controller's view > a focused field.
class ResponderChainTest : public AppDelegateTest {
protected:
    ResponderChainTest() {
        window_ = std::make_shared<platform::NSWindow>(
            platform::CGRect{{0, 0}, {400, 300}},
            platform::NSWindowStyleMaskTitled | platform::NSWindowStyleMaskClosable);
        content_ = std::make_shared<RecordingViewController>(
            Recorder{&log_, "content", {"contentAction:", "sharedAction:"}});
        child_ =
            std::make_shared<RecordingViewController>(Recorder{&log_, "child", {"sharedAction:"}});
        content_->addChildViewController(child_);
        auto* layout = new QVBoxLayout(content_->view());
        layout->addWidget(child_->view());
        field_ = new QLineEdit(child_->view());
        window_->setContentViewController(content_);
        windowController_ = std::make_shared<RecordingWindowController>(
            window_, Recorder{&log_,
                              "window controller",
                              {"windowControllerAction:", "sharedAction:", "contentAction:"}});
        window_->setWindowController(windowController_.get());

        window_->show();
        window_->activateWindow();
        QApplication::setActiveWindow(window_.get());
        QElapsedTimer timer;
        timer.start();
        while (QApplication::activeWindow() != window_.get() && timer.elapsed() < 10000) {
            QCoreApplication::processEvents();
        }
        field_->setFocus();
    }

    ~ResponderChainTest() override {
        window_->setWindowController(nullptr);
        window_->hide();
    }

    std::vector<std::string> log_;
    std::shared_ptr<platform::NSWindow> window_;
    std::shared_ptr<RecordingViewController> content_;
    std::shared_ptr<RecordingViewController> child_;
    QLineEdit* field_ = nullptr;
    std::shared_ptr<RecordingWindowController> windowController_;
};

TEST_F(ResponderChainTest, AnActionReachesTheFocusedViewsControllerFirstAndTheDelegateLast) {
    auto delegate = makeDelegate();
    application_.setDelegate(delegate.get());
    const auto menus = delegate->makeMainMenu();
    ASSERT_EQ(application_.keyWindow(), window_.get());

    EXPECT_TRUE(application_.sendAction("sharedAction:", nullptr, nullptr));
    EXPECT_EQ(log_, std::vector<std::string>{"child sharedAction:"});

    // The content view controller before the window controller, each asked once.
    log_.clear();
    EXPECT_TRUE(application_.sendAction("contentAction:", nullptr, nullptr));
    EXPECT_EQ(log_, (std::vector<std::string>{"child contentAction:", "content contentAction:"}));

    log_.clear();
    EXPECT_TRUE(application_.sendAction("windowControllerAction:", nullptr, nullptr));
    EXPECT_EQ(log_.back(), "window controller windowControllerAction:");

    // Nobody in the window rebuilds the Tracks menu: the delegate's fallback does.
    log_.clear();
    delegate->tracksMenu()->clear();
    emit delegate->tracksMenu()->aboutToShow();
    EXPECT_EQ(log_,
              (std::vector<std::string>{"child updateTracksMenu:", "content updateTracksMenu:",
                                        "window controller updateTracksMenu:"}));
    ASSERT_EQ(delegate->tracksMenu()->actions().size(), 1);
    EXPECT_FALSE(delegate->tracksMenu()->actions()[0]->isEnabled());

    // What nobody takes is reported as not done.
    EXPECT_FALSE(application_.sendAction("nobodysAction:", nullptr, nullptr));
    // An explicit target is the only one asked.
    log_.clear();
    EXPECT_TRUE(application_.sendAction("sharedAction:", windowController_.get(), nullptr));
    EXPECT_EQ(log_, std::vector<std::string>{"window controller sharedAction:"});
}

TEST_F(ResponderChainTest, TheWindowTakesItsOwnActionsAndShowsTheMainMenu) {
    auto delegate = makeDelegate();
    application_.setDelegate(delegate.get());
    application_.setMainMenu(delegate->makeMainMenu());

    // Already shown when the menu was set; windows shown later get it as they appear.
    EXPECT_EQ(window_->menuBar()->actions().size(),
              static_cast<qsizetype>(application_.mainMenu().size()));
    EXPECT_EQ(window_->menuBar()->actions()[2]->menu(), delegate->tracksMenu());

    EXPECT_TRUE(application_.sendAction("toggleFullScreen:", nullptr, nullptr));
    EXPECT_TRUE(window_->isInFullScreen());
    emit delegate->viewMenu()->aboutToShow();
    EXPECT_EQ(delegate->viewMenu()->actions()[0]->text(), QStringLiteral("Exit Full Screen"));
    window_->toggleFullScreen();
}

}  // namespace
}  // namespace quillon::test
