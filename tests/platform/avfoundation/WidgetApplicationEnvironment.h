#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <optional>

#include "platform/foundation/NeverDestroyed.h"

namespace quillon::test {

// Widgets need a QApplication: including this header gives the test program one, on the
// offscreen platform unless another is set, made on the main thread before the first test. It
// is never destroyed, since threads of the shared queues may still reach Qt while the process
// exits.
class WidgetApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qApp != nullptr) {
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "quillon-tests";
        static char* argv[] = {name, nullptr};
        static platform::NeverDestroyed<std::optional<QApplication>> application;
        application->emplace(argc, argv);
    }
};

inline ::testing::Environment* const widgetApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new WidgetApplicationEnvironment);

}  // namespace quillon::test
