#pragma once

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLocale>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "libraries/preferences-window/PreferencePane.h"
#include "platform/appkit/NSViewController.h"
#include "support/ScratchFolder.h"
#include "support/WidgetApplicationEnvironment.h"

namespace preferences_window::test {

// The standard user defaults of this test program live in a folder of its own, so that the
// user's real preferences are neither read nor written; and the program runs in English, a
// language the library has no catalogue for, whatever the machine's language.
inline const quillon::test::ScratchFolder configurationFolder("quillon-preferences-window-tests");
inline const bool privateConfigurationDirectory = [] {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    setenv("XDG_CONFIG_HOME", configurationFolder.path().c_str(), 1);
    return true;
}();

// A pane whose view has a fixed size.
class TestPane : public platform::NSViewController, public PreferencePane {
public:
    TestPane(std::string identifier, QSize size, std::optional<std::string> title)
        : identifier_(std::move(identifier)), size_(size) {
        setTitle(std::move(title));
    }

    void loadView() override {
        auto view = std::make_unique<QWidget>();
        view->setObjectName(QString::fromStdString(identifier_));
        view->setFixedSize(size_);
        setView(std::move(view));
    }

    PreferencePaneIdentifier preferencePaneIdentifier() const override {
        return PreferencePaneIdentifier(identifier_);
    }

private:
    std::string identifier_;
    QSize size_;
};

// A pane that also has a toolbar image.
class ToolbarTestPane : public TestPane, public ToolbarItemImageProvider {
public:
    using TestPane::TestPane;

    std::shared_ptr<platform::NSImage> toolbarItemImage() const override {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::darkGray);
        return std::make_shared<platform::NSImage>(image);
    }
};

inline std::shared_ptr<ToolbarTestPane> makePane(const std::string& identifier, QSize size,
                                                 std::optional<std::string> title) {
    return std::make_shared<ToolbarTestPane>(identifier, size, std::move(title));
}

// Runs the event loop until the condition holds; false if it still does not after a time that
// only a hang would take.
inline bool runUntil(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace preferences_window::test
