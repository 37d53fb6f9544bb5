#include "libraries/calyxware/LayerView.h"

#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>
#include <algorithm>

#include "libraries/calyxware/ArchivedColor.h"
#include "libraries/calyxware/CodingSupport.h"
#include "libraries/calyxware/QtConversions.h"
#include "libraries/calyxware/ViewCoding.h"

namespace calyxware {

namespace {

using platform::CGFloat;

constexpr std::string_view kBackgroundColorKey = "org.Calyxware.LayerView.backgroundColor";
constexpr std::string_view kIsBorderWidthInPointsKey =
    "org.Calyxware.LayerView.isBorderWidthInPoints";
constexpr std::string_view kBorderWidthKey = "org.Calyxware.LayerView.borderWidth";
constexpr std::string_view kBorderColorKey = "org.Calyxware.LayerView.borderColor";
constexpr std::string_view kCornerRadiusKey = "org.Calyxware.LayerView.cornerRadius";

constexpr const char* kBackgroundColorProperty = "backgroundColor";
constexpr const char* kPointsProperty = "animatableBorderWidthInPoints";
constexpr const char* kPixelsProperty = "animatableBorderWidthInPixels";
constexpr const char* kBorderColorProperty = "borderColor";
constexpr const char* kCornerRadiusProperty = "cornerRadius";

}  // namespace

LayerView::LayerView(QWidget* parent) : LayerView(DecodingTag{}, parent) {}

LayerView::LayerView(const platform::CGRect& frame, QWidget* parent)
    : LayerView(DecodingTag{}, parent) {
    setGeometry(widgetGeometry(frame));
}

LayerView::LayerView(DecodingTag, QWidget* parent)
    : QWidget(parent),
      animator_(*this, [this](const QByteArray& key) { return animationForKey(key); }) {}

LayerView::~LayerView() = default;

void LayerView::setBackgroundColor(const platform::NSColor& color) {
    backgroundColor_ = color;
    update();
}

void LayerView::setBorderWidth(BorderWidth width) {
    borderWidth_ = width;
    update();
    // The animatable widths read differently now, though their stored values did not change.
    emit animatableBorderWidthInPointsChanged();
    emit animatableBorderWidthInPixelsChanged();
}

void LayerView::setAnimatableBorderWidthInPoints(CGFloat width) {
    animatableWidthInPoints_ = width;
    borderWidth_ = BorderWidth::points(width);
    update();
}

void LayerView::setAnimatableBorderWidthInPixels(CGFloat width) {
    animatableWidthInPixels_ = width;
    borderWidth_ = BorderWidth::pixels(width);
    update();
}

void LayerView::setBorderColor(const platform::NSColor& color) {
    borderColor_ = color;
    update();
}

void LayerView::setCornerRadius(CGFloat radius) {
    cornerRadius_ = radius;
    update();
}

std::unique_ptr<QPropertyAnimation> LayerView::defaultAnimationForKey(const QByteArray& key) {
    for (const char* animatable : {kBackgroundColorProperty, kPointsProperty, kPixelsProperty,
                                   kBorderColorProperty, kCornerRadiusProperty}) {
        if (key == animatable) {
            auto animation = std::make_unique<QPropertyAnimation>();
            animation->setPropertyName(key);
            return animation;
        }
    }
    return nullptr;
}

std::unique_ptr<QPropertyAnimation> LayerView::animationForKey(const QByteArray& key) {
    std::unique_ptr<QPropertyAnimation> animation = defaultAnimationForKey(key);
    if (!animation) {
        return nullptr;
    }
    animation->setTargetObject(this);
    // The stored animatable values are stale whenever the width was set directly: start from
    // the width in effect.
    if (!animation->startValue().isValid()) {
        const BorderWidth width = borderWidth();
        if (key == kPointsProperty) {
            animation->setStartValue(width.inPoints(contentsScale_));
        } else if (key == kPixelsProperty) {
            animation->setStartValue(width.inPixels(contentsScale_));
        }
    }
    return animation;
}

void LayerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    contentsScale_ = devicePixelRatioF();
}

void LayerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    contentsScale_ = effectiveDevicePixelRatio(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    const CGFloat halfExtent = std::min(bounds.width(), bounds.height()) / 2;
    const CGFloat radius = std::clamp(cornerRadius(), 0.0, halfExtent);
    QPainterPath outline;
    outline.addRoundedRect(bounds, radius, radius);

    const QColor background = toQColor(backgroundColor_);
    if (background.alpha() > 0) {
        painter.fillPath(outline, background);
    }
    const CGFloat width = std::min(borderWidth().inPoints(contentsScale_), halfExtent);
    const QColor border = toQColor(borderColor_);
    if (width > 0 && border.alpha() > 0) {
        // Inside the bounds, following the corners: the ring between the outline and the
        // outline inset by the width.
        const CGFloat innerRadius = std::max(0.0, radius - width);
        QPainterPath ring = outline;
        ring.addRoundedRect(bounds.adjusted(width, width, -width, -width), innerRadius,
                            innerRadius);
        ring.setFillRule(Qt::OddEvenFill);
        painter.fillPath(ring, border);
    }
}

void LayerView::encode(platform::NSKeyedArchiver& coder) const {
    encodeViewFrame(coder, frameOfWidget(*this), isHidden());
    encodeColor(coder, backgroundColor_, kBackgroundColorKey);
    const BorderWidth width = borderWidth();
    coder.encodeBool(width.isPoints(), kIsBorderWidthInPointsKey);
    coder.encodeDouble(width.value(), kBorderWidthKey);
    encodeColor(coder, borderColor_, kBorderColorKey);
    coder.encodeDouble(cornerRadius(), kCornerRadiusKey);
}

bool LayerView::decodeFromCoder(platform::NSKeyedUnarchiver& coder) {
    registerCalyxwareCodingClasses();
    if (auto color = decodeColor(coder, kBackgroundColorKey)) {
        backgroundColor_ = *color;
    }
    if (coder.containsValue(kIsBorderWidthInPointsKey) && coder.containsValue(kBorderWidthKey)) {
        const CGFloat width = coder.decodeDouble(kBorderWidthKey);
        borderWidth_ = coder.decodeBool(kIsBorderWidthInPointsKey) ? BorderWidth::points(width)
                                                                   : BorderWidth::pixels(width);
    }
    if (auto color = decodeColor(coder, kBorderColorKey)) {
        borderColor_ = *color;
    }
    if (coder.containsValue(kCornerRadiusKey)) {
        cornerRadius_ = coder.decodeDouble(kCornerRadiusKey);
    }
    const DecodedViewFrame frame = decodeViewFrame(coder);
    setGeometry(widgetGeometry(frame.frame));
    setHidden(frame.hidden);
    return coder.error() == nullptr;
}

std::shared_ptr<LayerView> LayerView::initWithCoder(platform::NSKeyedUnarchiver& coder) {
    std::shared_ptr<LayerView> view(new LayerView(DecodingTag{}, nullptr));
    return view->decodeFromCoder(coder) ? view : nullptr;
}

}  // namespace calyxware
