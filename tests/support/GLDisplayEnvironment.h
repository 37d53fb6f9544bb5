#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "support/PrivateDisplay.h"

namespace quillon::test {

// A QApplication on an X server of the program's own, whose OpenGL is Mesa's software
// rasterizer: the same pictures on every machine, GPU or not. Including this header gives the
// test program one; GTEST_SKIP where no server could be started.
class GLDisplayEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        display_ = std::make_unique<PrivateDisplay>();
        if (display_->display().empty()) {
            return;
        }
        setenv("DISPLAY", display_->display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        static int argc = 1;
        static char name[] = "gl-tests";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QApplication>(argc, argv);
    }

    void TearDown() override {
        application_.reset();
        display_.reset();
    }

    static bool available() { return QApplication::instance() != nullptr; }

private:
    std::unique_ptr<PrivateDisplay> display_;
    std::unique_ptr<QApplication> application_;
};

inline ::testing::Environment* const glDisplayEnvironment =
    ::testing::AddGlobalTestEnvironment(new GLDisplayEnvironment);

}  // namespace quillon::test
