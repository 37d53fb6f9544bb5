#include "player-interface/style/ControlsAppearance.h"

#include "libraries/calyxware/QtConversions.h"

namespace quillon {

double SymbolConfiguration::pointSizeForFont(double fontPointSize) const {
    switch (scale) {
        case Scale::small:
            return fontPointSize;
        case Scale::medium:
            return fontPointSize * 1.25;
        case Scale::large:
            return fontPointSize * 1.5;
    }
    return fontPointSize;
}

const platform::NSFont& controlsFont() {
    static const platform::NSFont font = platform::NSFont::systemFontOfSize(13);
    return font;
}

QFont controlsQFont() {
    QFont font(QString::fromStdString(controlsFont().familyName()));
    font.setPointSizeF(controlsFont().pointSize());
    font.setWeight(QFont::Normal);
    return font;
}

platform::NSColor controlsTintColor(const QPalette& palette) {
    QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    text.setAlphaF(static_cast<float>(controlsTintColor().alphaComponent()));
    return calyxware::toNSColor(text);
}

const SymbolConfiguration& controlsSymbolConfiguration() {
    static const SymbolConfiguration configuration{SymbolConfiguration::Scale::large};
    return configuration;
}

}  // namespace quillon
