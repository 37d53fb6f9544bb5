#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <optional>

#include "platform/foundation/NeverDestroyed.h"

namespace calyxware::test {

// Widgets need a QApplication: including this header gives the test program one, on the
// offscreen platform, made on the main thread before the first test and never destroyed (Qt
// objects that tests leave to the process must not outlive it).
class WidgetTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qApp != nullptr) {
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "calyxware-tests";
        static char* argv[] = {name, nullptr};
        static platform::NeverDestroyed<std::optional<QApplication>> application;
        application->emplace(argc, argv);
    }
};

inline ::testing::Environment* const widgetTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new WidgetTestEnvironment);

}  // namespace calyxware::test
