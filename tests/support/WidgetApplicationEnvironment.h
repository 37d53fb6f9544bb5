#pragma once

#include <QApplication>

#include "support/QtApplicationEnvironment.h"

namespace quillon::test {

// Widgets need a QApplication: including this header gives the test program one.
inline ::testing::Environment* const widgetApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment<QApplication>);

}  // namespace quillon::test
