#include "player-interface/route-picker/QLRoutePickerButton.h"

#include <QApplication>
#include <QPainterPath>
#include <QPalette>

#include "libraries/calyxware/QtConversions.h"
#include "libraries/embedded-images/EmbeddedImageLoader.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/ProcessInfo.h"
#include "player-interface/style/ControlsAppearance.h"
#include "player-interface/style/ControlsSymbolImages.h"
#include "player-interface/style/ImageTinting.h"

namespace quillon {

namespace {

constexpr double side = 16.0;

// Two arcs of sound waves over a triangle pointing up into them.
QPainterPath airPlayAudioShape() {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    QPainterPathStroker stroker;
    stroker.setWidth(1.4);
    stroker.setCapStyle(Qt::RoundCap);
    for (const double radius : {3.25, 6.25}) {
        QPainterPath arc;
        const QRectF circle(8 - radius, 8.5 - radius, 2 * radius, 2 * radius);
        // Open at the bottom, where the triangle stands.
        arc.arcMoveTo(circle, -35);
        arc.arcTo(circle, -35, 250);
        path.addPath(stroker.createStroke(arc));
    }
    QPainterPath triangle;
    triangle.moveTo(8, 9.25);
    triangle.lineTo(12, 15);
    triangle.lineTo(4, 15);
    triangle.closeSubpath();
    path.addPath(triangle);
    return path;
}

}  // namespace

std::shared_ptr<platform::NSImage> ql_routePickerButtonImage() {
    static const std::shared_ptr<platform::NSImage> image = [] {
        if (platform::ProcessInfo::processInfo()->isMacOSBefore(11, 0, 0)) {
            // A template image: it takes the tint like the symbol does.
            if (auto embedded = embedded_images::EmbeddedImageLoader::sharedLoader().imageNamed(
                    "AirPlayAudioIcon")) {
                return embedded;
            }
        }
        return makeSymbolImage(airPlayAudioShape(), side);
    }();
    return image;
}

void ql_configureRoutePickerButton(QAbstractButton& button,
                                   const std::optional<platform::NSColor>& contentTintColor) {
    const auto image = ql_routePickerButtonImage();
    const auto tinted =
        ql_imageByApplyingTintColor(image, contentTintColor.value_or(controlsTintColor(button.palette())));
    button.setIcon(platform::makeIcon(tinted ? tinted : image));
    const QString label =
        QString::fromStdString(platform::localizedString("Show AirPlay 2 audio device picker", ""));
    button.setAccessibleName(label);
    button.setToolTip(label);
}

std::unique_ptr<QToolButton> ql_routePickerButton() {
    auto button = std::make_unique<QToolButton>();
    ql_configureRoutePickerButton(*button);
    return button;
}

platform::NSColor controlAccentColor() {
    return calyxware::toNSColor(
        QApplication::palette().color(QPalette::Active, QPalette::Highlight));
}

}  // namespace quillon
