#pragma once

#include <gtest/gtest.h>

#include <QLocale>
#include <memory>
#include <optional>
#include <string>

#include "media-player/MediaPlayerTestSupport.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/window/MediaPlayerViewController.h"
#include "support/ScopedUserDefault.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {

// A player for one generated file and the view controller of its window, in an English locale so
// that language names read the same everywhere.
class MediaPlayerViewControllerTest : public MediaPlayerTest {
protected:
    void SetUp() override {
        savedLocale_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override {
        if (controller) {
            // Whatever the main queue still holds for it runs (or is dropped) first.
            platform::DispatchQueue::main().drain();
        }
        controller.reset();
        MediaPlayerTest::TearDown();
        QLocale::setDefault(savedLocale_);
    }

    // With `selectTracks`, the first video and the first audio track are selected.
    void open(const char* name, bool selectTracks = true) {
        auto media = openMedia(name);
        DefaultTracks tracks;
        if (selectTracks) {
            tracks.video = media->videoTracks().empty() ? nullptr : media->videoTracks().front();
            tracks.audio = media->audioTracks().empty() ? nullptr : media->audioTracks().front();
        }
        makePlayer(std::move(media), tracks);
        controller = MediaPlayerViewController::make(player);
        controller->view();
    }
    float desiredRate() {
        return onQueue([&] { return player->desiredPlaybackRate(); });
    }
    // Lets the player's notifications reach the main queue and run there.
    void deliverNotifications() {
        settle();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        platform::DispatchQueue::main().drain();
    }

    std::shared_ptr<MediaPlayerViewController> controller;

private:
    QLocale savedLocale_;
};

}  // namespace quillon::test
