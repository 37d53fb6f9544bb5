#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <optional>

#include "platform/foundation/NeverDestroyed.h"

namespace quillon::test {

// Gives the test program a Qt application object of the given kind, on the offscreen platform
// unless another is set, made on the main thread before the first test. It is never destroyed:
// threads of the shared queues may still reach Qt (fonts, widgets) while the process exits.
template <typename Application>
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (Application::instance() != nullptr) {
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "quillon-tests";
        static char* argv[] = {name, nullptr};
        static platform::NeverDestroyed<std::optional<Application>> application;
        application->emplace(argc, argv);
    }
};

}  // namespace quillon::test
