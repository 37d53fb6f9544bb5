#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "application/MediaPlayerDocument.h"
#include "application/QLDocumentController.h"
#include "media-player/MediaPlayerTestSupport.h"
#include "platform/appkit/NSAlert.h"
#include "platform/dispatch/DispatchQueue.h"
#include "support/TestMedia.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {

// Documents opened through their own document controller, whose players run on the fixture's
// manual clock and recorders.
class MediaPlayerDocumentTest : public MediaPlayerTest {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        controller.setDocumentFactory([this](const std::string&) {
            auto document = std::make_shared<MediaPlayerDocument>();
            document->setMediaPlayerEnvironment(environment());
            return document;
        });
    }
    void TearDown() override {
        auto documents = controller.documents();
        for (const auto& document : documents) {
            document->close();
        }
        documents.clear();
        // Let late loads land and the closed windows go before the fixture's player parts do.
        pumpFor(std::chrono::milliseconds(200));
        MediaPlayerTest::TearDown();
    }

    // Runs the main queue and Qt's events until `done` holds; false after a generous timeout.
    static bool pumpUntil(const std::function<bool()>& done,
                          std::chrono::seconds timeout = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            platform::DispatchQueue::main().drain();
            QCoreApplication::processEvents();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    static void pumpFor(std::chrono::milliseconds duration) {
        const auto deadline = std::chrono::steady_clock::now() + duration;
        pumpUntil([&] { return std::chrono::steady_clock::now() >= deadline; });
    }

    // Runs `work` as a block of the main queue, as the application's main thread does.
    static void onMain(std::function<void()> work) {
        platform::DispatchQueue::main().async(std::move(work));
        platform::DispatchQueue::main().drain();
    }

    std::shared_ptr<MediaPlayerDocument> open(const std::string& mediaName, bool display = true) {
        std::shared_ptr<platform::NSDocument> opened;
        controller.openDocumentWithContentsOfURL(
            platform::URL::fileURL(mediaPath(mediaName)), display,
            [&](std::shared_ptr<platform::NSDocument> document, bool, auto) { opened = document; });
        return std::dynamic_pointer_cast<MediaPlayerDocument>(opened);
    }

    // The alert sheets shown on `window`.
    static std::vector<platform::NSAlert*> alertsOn(QWidget* window) {
        std::vector<platform::NSAlert*> alerts;
        for (auto* alert : window->findChildren<platform::NSAlert*>()) {
            if (alert->isVisible()) {
                alerts.push_back(alert);
            }
        }
        return alerts;
    }

    QLDocumentController controller;
};

}  // namespace quillon::test
