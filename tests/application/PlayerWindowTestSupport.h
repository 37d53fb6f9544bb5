#pragma once

#include <QApplication>
#include <chrono>
#include <memory>
#include <string>

#include "application/AppDelegate.h"
#include "application/MediaPlayerDocumentTestSupport.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"
#include "player-interface/window/MediaPlayerWindowController.h"

namespace quillon::test {

// Makes `window` the active window, as the user's click would.
inline bool activate(QWidget& window) {
    window.activateWindow();
    // The offscreen platform activates nothing by itself.
    if (QGuiApplication::platformName() == "offscreen") {
        QApplication::setActiveWindow(&window);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (QApplication::activeWindow() != &window) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        platform::DispatchQueue::main().drain();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Player windows of real documents, with the application's menus in their menu bars.
class PlayerWindowTest : public MediaPlayerDocumentTest {
protected:
    void SetUp() override {
        MediaPlayerDocumentTest::SetUp();
        application_ = std::make_unique<platform::NSApplication>(*qApp, &controller);
        AppDelegate::Dependencies dependencies;
        dependencies.application = application_.get();
        delegate_ = std::make_unique<AppDelegate>(std::move(dependencies));
        application_->setDelegate(delegate_.get());
        application_->setMainMenu(delegate_->makeMainMenu());
    }
    void TearDown() override {
        MediaPlayerDocumentTest::TearDown();
        application_->setDelegate(nullptr);
        application_.reset();
    }

    // The shown and exposed player window of a newly opened file.
    MediaPlayerWindowController* openShownPlayerWindow(const std::string& name) {
        auto document = open(name);
        if (!document || !pumpUntil([&] {
                const auto& windowController = document->mediaPlayerWindowController();
                return windowController != nullptr && windowController->window()->isVisible() &&
                       windowController->window()->windowHandle()->isExposed();
            })) {
            return nullptr;
        }
        return document->mediaPlayerWindowController().get();
    }

    // The shown, exposed and active player window of a newly opened file.
    MediaPlayerWindowController* openPlayerWindow(const std::string& name) {
        MediaPlayerWindowController* windowController = openShownPlayerWindow(name);
        return windowController != nullptr && activate(*windowController->window())
                   ? windowController
                   : nullptr;
    }

    std::unique_ptr<platform::NSApplication> application_;
    std::unique_ptr<AppDelegate> delegate_;
};

}  // namespace quillon::test
