#include "platform/appkit/NSAppearance.h"

#include <QGuiApplication>
#include <QPalette>

namespace platform {

bool isDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() <
           palette.color(QPalette::WindowText).lightnessF();
}

QPalette darkAppearancePalette(const QPalette& base) {
    QPalette palette;
    const QColor ground = QColor::fromRgbF(0.12f, 0.12f, 0.12f);
    const QColor raised = QColor::fromRgbF(0.23f, 0.23f, 0.23f);
    const QColor text = Qt::white;
    const QColor disabledText = QColor::fromRgbF(0.6f, 0.6f, 0.6f);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, ground);
        palette.setColor(group, QPalette::Base, ground);
        palette.setColor(group, QPalette::AlternateBase, raised);
        palette.setColor(group, QPalette::Button, raised);
        palette.setColor(group, QPalette::Light, raised.lighter(150));
        palette.setColor(group, QPalette::Midlight, raised.lighter(125));
        palette.setColor(group, QPalette::Mid, raised.darker(125));
        palette.setColor(group, QPalette::Dark, ground.darker(150));
        palette.setColor(group, QPalette::Shadow, Qt::black);
        for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text,
                                               QPalette::ButtonText, QPalette::BrightText,
                                               QPalette::ToolTipText, QPalette::PlaceholderText}) {
            palette.setColor(group, role, role == QPalette::PlaceholderText ? disabledText : text);
        }
        palette.setColor(group, QPalette::ToolTipBase, raised);
        palette.setColor(group, QPalette::Highlight, base.color(group, QPalette::Highlight));
        palette.setColor(group, QPalette::HighlightedText,
                         base.color(group, QPalette::HighlightedText));
        palette.setColor(group, QPalette::Link, base.color(group, QPalette::Highlight).lighter(130));
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, ground);
    palette.setColor(QPalette::Disabled, QPalette::Base, ground);
    palette.setColor(QPalette::Disabled, QPalette::Button, raised);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText}) {
        palette.setColor(QPalette::Disabled, role, disabledText);
    }
    palette.setColor(QPalette::Disabled, QPalette::Highlight, raised.lighter(150));
    return palette;
}

bool isDarkAppearance() {
    return isDarkPalette(QGuiApplication::palette());
}

}  // namespace platform
