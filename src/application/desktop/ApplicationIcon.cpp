#include "application/desktop/ApplicationIcon.h"

#include <fmt/format.h>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

namespace quillon {

namespace {

constexpr double kCanvas = 256.0;

// A rounded tile with a blue-to-violet gradient; on it a white Q: a ring with a short tail around
// a play triangle.
constexpr QColor kTop(0x3b, 0x5b, 0xdb);
constexpr QColor kBottom(0x70, 0x48, 0xe8);

QPainterPath tileShape() {
    QPainterPath path;
    path.addRoundedRect(QRectF(16, 16, 224, 224), 52, 52);
    return path;
}

QPainterPath markShape() {
    QPainterPath ring;
    ring.addEllipse(QPointF(122, 122), 74, 74);
    ring.addEllipse(QPointF(122, 122), 56, 56);

    QPainterPath tailLine;
    tailLine.moveTo(162, 162);
    tailLine.lineTo(194, 194);
    QPainterPathStroker stroker;
    stroker.setWidth(26);
    stroker.setCapStyle(Qt::RoundCap);
    const QPainterPath tail = stroker.createStroke(tailLine);

    QPainterPath triangle;
    triangle.moveTo(104, 88);
    triangle.lineTo(160, 122);
    triangle.lineTo(104, 156);
    triangle.closeSubpath();

    QPainterPath mark = ring;
    mark.addPath(triangle);
    // The tail is separate so that its overlap with the ring does not cut a hole.
    return mark.united(tail.simplified());
}

std::string pathData(const QPainterPath& path) {
    std::string data;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element element = path.elementAt(i);
        switch (element.type) {
            case QPainterPath::MoveToElement:
                if (i > 0) {
                    data += "Z";
                }
                data += fmt::format("M{:.2f} {:.2f}", element.x, element.y);
                break;
            case QPainterPath::LineToElement:
                data += fmt::format("L{:.2f} {:.2f}", element.x, element.y);
                break;
            case QPainterPath::CurveToElement: {
                const QPainterPath::Element second = path.elementAt(i + 1);
                const QPainterPath::Element end = path.elementAt(i + 2);
                data += fmt::format("C{:.2f} {:.2f} {:.2f} {:.2f} {:.2f} {:.2f}", element.x,
                                    element.y, second.x, second.y, end.x, end.y);
                i += 2;
                break;
            }
            case QPainterPath::CurveToDataElement:
                break;
        }
    }
    if (!data.empty()) {
        data += "Z";
    }
    return data;
}

std::string hex(const QColor& color) {
    return color.name(QColor::HexRgb).toStdString();
}

}  // namespace

const std::vector<int>& applicationIconPixelSizes() {
    static const std::vector<int> sizes{16, 24, 32, 48, 64, 128, 256, 512};
    return sizes;
}

std::string applicationIconSVG() {
    const QPainterPath mark = markShape();
    const char* fillRule = mark.fillRule() == Qt::OddEvenFill ? "evenodd" : "nonzero";
    return fmt::format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"0 0 256 256\">\n"
        "  <defs>\n"
        "    <linearGradient id=\"tile\" x1=\"0\" y1=\"16\" x2=\"0\" y2=\"240\" "
        "gradientUnits=\"userSpaceOnUse\">\n"
        "      <stop offset=\"0\" stop-color=\"{}\"/>\n"
        "      <stop offset=\"1\" stop-color=\"{}\"/>\n"
        "    </linearGradient>\n"
        "  </defs>\n"
        "  <path fill=\"url(#tile)\" d=\"{}\"/>\n"
        "  <path fill=\"#ffffff\" fill-rule=\"{}\" d=\"{}\"/>\n"
        "</svg>\n",
        hex(kTop), hex(kBottom), pathData(tileShape()), fillRule, pathData(mark));
}

QImage renderApplicationIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kCanvas, size / kCanvas);
    painter.setPen(Qt::NoPen);
    QLinearGradient gradient(0, 16, 0, 240);
    gradient.setColorAt(0, kTop);
    gradient.setColorAt(1, kBottom);
    painter.setBrush(gradient);
    painter.drawPath(tileShape());
    painter.setBrush(Qt::white);
    painter.drawPath(markShape());
    painter.end();
    return image;
}

}  // namespace quillon
