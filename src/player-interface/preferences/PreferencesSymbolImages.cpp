#include "player-interface/preferences/PreferencesSymbolImages.h"

#include <fmt/format.h>

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <cmath>
#include <numbers>

#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

using platform::CGRect;
using platform::CGSize;
using platform::NSImage;

constexpr double kSide = 24.0;

QColor symbolColor() {
    if (QGuiApplication::instance() == nullptr) {
        return Qt::black;
    }
    return QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

// A gear of `teeth` teeth centred at `centre`, with a hole, in a unit where the gear's outer
// radius is `radius`.
QPainterPath gear(QPointF centre, double radius, int teeth) {
    QPainterPath path;
    const double inner = radius * 0.78;
    const double step = 2 * std::numbers::pi / teeth;
    for (int i = 0; i < teeth; ++i) {
        const double start = i * step;
        const QPointF points[] = {
            centre + QPointF(std::cos(start) * inner, std::sin(start) * inner),
            centre + QPointF(std::cos(start + step * 0.2) * radius,
                             std::sin(start + step * 0.2) * radius),
            centre + QPointF(std::cos(start + step * 0.5) * radius,
                             std::sin(start + step * 0.5) * radius),
            centre +
                QPointF(std::cos(start + step * 0.7) * inner, std::sin(start + step * 0.7) * inner),
        };
        for (const QPointF& point : points) {
            if (path.elementCount() == 0) {
                path.moveTo(point);
            } else {
                path.lineTo(point);
            }
        }
    }
    path.closeSubpath();
    path.addEllipse(centre, radius * 0.32, radius * 0.32);
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

QPainterPath wrenchAndScrewdriver() {
    QPainterPath path;
    // The screwdriver from top left to bottom right: handle, then shaft.
    QPainterPath screwdriver;
    screwdriver.addRoundedRect(QRectF(-2.2, -11, 4.4, 9), 1.6, 1.6);
    screwdriver.addRect(QRectF(-0.9, -2, 1.8, 11));
    QTransform diagonal;
    diagonal.translate(12, 12).rotate(-45);
    path.addPath(diagonal.map(screwdriver));
    // The wrench across it: a shaft with an open ring at the top right.
    QPainterPath wrench;
    wrench.addRoundedRect(QRectF(-1.4, -4, 2.8, 14), 1.2, 1.2);
    QPainterPath head;
    head.addEllipse(QPointF(0, -7), 4.2, 4.2);
    QPainterPath jaw;
    jaw.addRect(QRectF(-1.5, -12, 3, 5.5));
    wrench.addPath(head.subtracted(jaw));
    QTransform other;
    other.translate(12, 12).rotate(45);
    path.addPath(other.map(wrench));
    path.setFillRule(Qt::WindingFill);
    return path;
}

std::shared_ptr<NSImage> makeImage(QPainterPath path) {
    return std::make_shared<NSImage>(
        CGSize{kSide, kSide}, [path = std::move(path)](QPainter& painter, const CGRect& rect) {
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate(rect.origin.x, rect.origin.y);
            painter.scale(rect.size.width / kSide, rect.size.height / kSide);
            painter.fillPath(path, symbolColor());
            painter.restore();
            return true;
        });
}

}  // namespace

std::shared_ptr<NSImage> preferencesSymbolImage(std::string_view name) {
    if (name == "gearshape") {
        static const auto image = makeImage(gear({12, 12}, 10.5, 8));
        return image;
    }
    if (name == "gearshape.2") {
        static const auto image = [] {
            QPainterPath path = gear({9, 9}, 8, 8);
            path.addPath(gear({17.5, 17.5}, 6, 7));
            return makeImage(path);
        }();
        return image;
    }
    if (name == "wrench.and.screwdriver") {
        static const auto image = makeImage(wrenchAndScrewdriver());
        return image;
    }
    return nullptr;
}

std::shared_ptr<NSImage> requiredPreferencesSymbolImage(std::string_view name) {
    auto image = preferencesSymbolImage(name);
    if (!image) {
        platform::fatalError(fmt::format("Failed to make the symbol image \"{}\".", name));
    }
    return image;
}

}  // namespace quillon
