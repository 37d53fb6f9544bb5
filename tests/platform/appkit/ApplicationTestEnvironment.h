#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <optional>

#include "platform/foundation/NeverDestroyed.h"

namespace platform::test {

// Widget tests need a QApplication: including this header gives the test program one, on the
// offscreen platform, made on the main thread before the first test and never destroyed (Qt
// objects that tests leave to the process must not outlive it).
class ApplicationTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qApp != nullptr) {
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "quillon-widget-tests";
        static char* argv[] = {name, nullptr};
        static NeverDestroyed<std::optional<QApplication>> application;
        application->emplace(argc, argv);
    }
};

inline ::testing::Environment* const applicationTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationTestEnvironment);

}  // namespace platform::test
