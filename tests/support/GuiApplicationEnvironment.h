#pragma once

#include <QGuiApplication>

#include "support/QtApplicationEnvironment.h"

namespace quillon::test {

// Fonts come from Qt's font database, which needs a QGuiApplication: including this header gives
// the test program one.
inline ::testing::Environment* const guiApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment<QGuiApplication>);

}  // namespace quillon::test
