#include "platform/appkit/NSAppearance.h"

#include <QGuiApplication>
#include <QPalette>

namespace platform {

bool isDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() <
           palette.color(QPalette::WindowText).lightnessF();
}

bool isDarkAppearance() {
    return isDarkPalette(QGuiApplication::palette());
}

}  // namespace platform
