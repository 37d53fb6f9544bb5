#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "application/AppDelegate.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSDocument.h"
#include "platform/appkit/NSDocumentController.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/appkit/NSWindowRestorationStore.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/castlink/CastlinkTestSupport.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {

// A document controller that records the Open panel instead of showing it and opens any file
// as an empty document.
class RecordingDocumentController : public platform::NSDocumentController {
public:
    void beginOpenPanel(std::shared_ptr<platform::NSOpenPanel> /*panel*/,
                        std::vector<std::string> /*extensions*/,
                        std::function<void(platform::NSModalResponse)> /*completion*/) override {
        ++openPanels;
    }
    void openDocumentWithContentsOfURL(const platform::URL& url, bool /*display*/,
                                       OpenCompletion completion) override {
        openedURLs.push_back(url);
        auto document = std::make_shared<platform::NSDocument>();
        document->setFileURL(url);
        addDocument(document);
        if (completion) {
            completion(document, false, nullptr);
        }
    }

    int openPanels = 0;
    std::vector<platform::URL> openedURLs;
};

// The application object and its delegate over private defaults, restoration file and helper
// tool; Picture in Picture support as the test sets it.
class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest()
        : directory_(std::filesystem::temp_directory_path() /
                     ("quillon-app-delegate-" + std::to_string(getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name())),
          defaults_((std::filesystem::create_directories(directory_), directory_ / "defaults.ini")
                        .string()),
          store_((directory_ / "windows.cbor").string()),
          application_(*qApp, &documentController_, &store_) {
        platform::NSWorkspace::shared().setURLOpenerForTesting([this](const platform::URL& url) {
            openedAddresses_.push_back(url);
            return true;
        });
    }

    ~AppDelegateTest() override {
        application_.setDelegate(nullptr);
        platform::NSWorkspace::shared().setURLOpenerForTesting(nullptr);
        std::filesystem::remove_all(directory_);
    }

    std::unique_ptr<AppDelegate> makeDelegate(bool pictureInPictureSupported = true) {
        AppDelegate::Dependencies dependencies;
        dependencies.application = &application_;
        dependencies.userDefaults = &defaults_;
        dependencies.castlinkManager = &castlink_;
        dependencies.isPictureInPictureSupported = [pictureInPictureSupported] {
            return pictureInPictureSupported;
        };
        return std::make_unique<AppDelegate>(std::move(dependencies));
    }

    std::filesystem::path directory_;
    platform::UserDefaults defaults_;
    FakeCastlinkManager castlink_;
    RecordingDocumentController documentController_;
    platform::NSWindowRestorationStore store_;
    platform::NSApplication application_;
    std::vector<platform::URL> openedAddresses_;
};

}  // namespace quillon::test
