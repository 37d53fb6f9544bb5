#include "player-interface/style/ControlsSymbolImages.h"

#include <QPainter>
#include <QPainterPath>
#include <map>
#include <string>

#include "libraries/calyxware/QtConversions.h"

namespace quillon {

namespace {

constexpr double side = 16.0;

using Shape = void (*)(QPainterPath& path);

void playShape(QPainterPath& path) {
    path.moveTo(4, 2);
    path.lineTo(14, 8);
    path.lineTo(4, 14);
    path.closeSubpath();
}

void pauseShape(QPainterPath& path) {
    path.addRoundedRect(QRectF(3.5, 2, 3.5, 12), 1, 1);
    path.addRoundedRect(QRectF(9, 2, 3.5, 12), 1, 1);
}

// A screen's outline with a smaller picture in one corner; the arrow says which way the picture
// goes. The parts do not overlap, so even-odd filling leaves the screen hollow whatever the
// direction of each outline.
void pictureInPictureShape(QPainterPath& path, bool enter) {
    path.setFillRule(Qt::OddEvenFill);
    path.addRoundedRect(QRectF(0.5, 2.5, 15, 11), 1.5, 1.5);
    path.addRoundedRect(QRectF(1.75, 3.75, 12.5, 8.5), 0.75, 0.75);
    path.addRoundedRect(QRectF(8.5, 8, 4.75, 3.25), 0.5, 0.5);
    QPainterPath arrow;
    if (enter) {
        arrow.moveTo(3.5, 5.5);
        arrow.lineTo(7.5, 9.5);
    } else {
        arrow.moveTo(7.5, 9.5);
        arrow.lineTo(3.5, 5.5);
    }
    QPainterPathStroker stroker;
    stroker.setWidth(1.25);
    stroker.setCapStyle(Qt::RoundCap);
    const QPointF tip = enter ? QPointF(7.5, 9.5) : QPointF(3.5, 5.5);
    const double direction = enter ? -1.0 : 1.0;
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip + QPointF(direction * 3.25, 0));
    head.lineTo(tip + QPointF(0, direction * 3.25));
    head.closeSubpath();
    path.addPath(stroker.createStroke(arrow).united(head));
}

void pipEnterShape(QPainterPath& path) {
    pictureInPictureShape(path, true);
}
void pipExitShape(QPainterPath& path) {
    pictureInPictureShape(path, false);
}

std::shared_ptr<platform::NSImage> makeImage(Shape shape) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    shape(path);
    return makeSymbolImage(std::move(path), side);
}

}  // namespace

std::shared_ptr<platform::NSImage> makeSymbolImage(QPainterPath path, double sideLength) {
    return std::make_shared<platform::NSImage>(
        platform::CGSize{sideLength, sideLength},
        [path = std::move(path), sideLength](QPainter& painter,
                                             const platform::CGRect& destination) {
            const QRectF target = calyxware::toQRectF(destination);
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate(target.topLeft());
            painter.scale(target.width() / sideLength, target.height() / sideLength);
            painter.fillPath(path, Qt::black);
            painter.restore();
            return true;
        });
}

std::shared_ptr<platform::NSImage> controlsSymbolImage(std::string_view name) {
    static const std::map<std::string, std::shared_ptr<platform::NSImage>, std::less<>> images = {
        {"play.fill", makeImage(playShape)},
        {"pause.fill", makeImage(pauseShape)},
        {"pip.enter", makeImage(pipEnterShape)},
        {"pip.exit", makeImage(pipExitShape)},
    };
    const auto found = images.find(name);
    return found == images.end() ? nullptr : found->second;
}

}  // namespace quillon
