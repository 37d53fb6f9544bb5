#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <cstddef>
#include <vector>

#include "support/WidgetApplicationEnvironment.h"
#include "platform/appkit/NSImage.h"

namespace platform {
namespace {

std::vector<std::byte> pngData(QSize size, QColor color) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const auto* data = reinterpret_cast<const std::byte*>(bytes.constData());
    return {data, data + bytes.size()};
}

TEST(NSImageTests, decodedImagesMeasureInPoints) {
    const auto image = NSImage::imageWithData(pngData({36, 32}, Qt::red), 2.0);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), (CGSize{18, 16}));
    EXPECT_EQ(image->bitmap().size(), QSize(36, 32));

    const std::vector<std::byte> garbage(64, std::byte{0x42});
    EXPECT_EQ(NSImage::imageWithData(garbage), nullptr);
    EXPECT_EQ(NSImage::imageWithData({}), nullptr);
}

TEST(NSImageTests, anIconDrawsItsImageAfreshForEveryPixmap) {
    int drawings = 0;
    const auto image = std::make_shared<NSImage>(
        CGSize{20, 10}, [&](QPainter& painter, const CGRect& destination) {
            ++drawings;
            painter.fillRect(QRectF(destination.origin.x, destination.origin.y,
                                    destination.size.width, destination.size.height),
                             Qt::blue);
            return true;
        });
    const QIcon icon = makeIcon(image);
    const QPixmap first = icon.pixmap(QSize(40, 40));
    icon.pixmap(QSize(40, 40));
    EXPECT_EQ(drawings, 2);
    // Fitted with its aspect ratio kept.
    EXPECT_EQ(first.size(), QSize(40, 20));
    EXPECT_EQ(first.toImage().pixelColor(5, 5), QColor(Qt::blue));
}

}  // namespace
}  // namespace platform
