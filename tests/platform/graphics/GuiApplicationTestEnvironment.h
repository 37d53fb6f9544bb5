#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QGuiApplication>
#include <optional>

#include "platform/foundation/NeverDestroyed.h"

namespace quillon::test {

// Fonts come from Qt's font database, which needs a QGuiApplication. Including this header
// gives the test program one, on the offscreen platform, made on the main thread before the
// first test. It is never destroyed: threads of the shared dispatch queues may still ask for
// fonts while the process exits.
class GuiApplicationTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qGuiApp != nullptr) {
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "quillon-tests";
        static char* argv[] = {name, nullptr};
        static platform::NeverDestroyed<std::optional<QGuiApplication>> application;
        application->emplace(argc, argv);
    }
};

inline ::testing::Environment* const guiApplicationTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiApplicationTestEnvironment);

}  // namespace quillon::test
