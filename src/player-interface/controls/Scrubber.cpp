#include "player-interface/controls/Scrubber.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "libraries/calyxware/QtConversions.h"
#include "platform/appkit/NSAppearance.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/Localization.h"
#include "player-interface/style/BackingAlignment.h"
#include "player-interface/style/ControlsAppearance.h"

namespace quillon {

namespace {

double clampedFraction(double fraction) {
    return std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
}

// Scroll distance of one notch of a wheel without fine deltas, in points.
constexpr double wheelNotchDistance = 10.0;

QColor accentColor(const QWidget& widget) {
    static const QColor color = widget.palette().color(QPalette::Active, QPalette::Highlight);
    return color;
}

// The unplayed part. On a light ground it is the platform's near-black; on a dark one (the
// controls panel) the platform's vibrancy lifts it well above the ground, which is what these
// lighter greys stand in for.
QColor unplayedColor(const QPalette& palette, bool increasesContrast) {
    double whiteness = increasesContrast ? 0.509804 : 0.117647;
    if (platform::isDarkPalette(palette)) {
        whiteness = increasesContrast ? 0.85 : 0.65;
    }
    return QColor::fromRgbF(static_cast<float>(whiteness), static_cast<float>(whiteness),
                            static_cast<float>(whiteness), 1.0f);
}

void fillRoundedRect(QPainter& painter, const QRectF& rect, double radius, const QColor& color) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, color);
}

}  // namespace

Scrubber::Scrubber(QWidget* parent) : QWidget(parent) {
    installSliderAccessibility();
    setAccessibleName(QString::fromStdString(
        platform::localizedString("Scrubber", "The accessibility label of a srubber control.")));
    // Grows sideways with the controls but never gives up its height.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    platform::NSWorkspace& workspace = platform::NSWorkspace::shared();
    increasesContrast_ = workspace.accessibilityDisplayShouldIncreaseContrast();
    // Posted on the main thread, as everything here runs.
    accessibilityDisplayOptionsObserver_ = workspace.notificationCenter().addObserver(
        platform::NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification, nullptr,
        [this](const platform::Notification&) {
            setIncreasesContrast(
                platform::NSWorkspace::shared().accessibilityDisplayShouldIncreaseContrast());
        });
    layoutRects();
}

Scrubber::~Scrubber() = default;

void Scrubber::setMinValue(double value) {
    minValue_ = value;
    layoutRects();
}

void Scrubber::setMaxValue(double value) {
    maxValue_ = value;
    layoutRects();
}

void Scrubber::setValue(double value) {
    value_ = value;
    layoutRects();
}

void Scrubber::setIncreasesContrast(bool increases) {
    increasesContrast_ = increases;
    layoutRects();
}

void Scrubber::setValueAndSendAction(double value) {
    if (std::isnan(value)) {
        return;
    }
    const double clamped =
        std::clamp(value, std::min(minValue_, maxValue_), std::max(minValue_, maxValue_));
    if (clamped == value_) {
        return;
    }
    value_ = clamped;
    layoutRects();
    postAccessibilityValueChanged(this, value_);
    action_.send(*this);
}

double Scrubber::fraction() const {
    return clampedFraction((value_ - minValue_) / std::max(maxValue_ - minValue_, 0.0));
}

void Scrubber::setFraction(double fraction) {
    setValueAndSendAction(minValue_ +
                          clampedFraction(fraction) * std::max(maxValue_ - minValue_, 0.0));
}

std::optional<std::string> Scrubber::accessibilityValueDescription() const {
    if (!accessibilityValueFormatter_) {
        return std::nullopt;
    }
    return accessibilityValueFormatter_(value_);
}

bool Scrubber::accessibilityPerformIncrement() {
    setFraction(fraction() + 0.05);
    return true;
}

bool Scrubber::accessibilityPerformDecrement() {
    setFraction(fraction() - 0.05);
    return true;
}

bool Scrubber::accessibilitySetValue(double value) {
    if (!isEnabled()) {
        return false;
    }
    setValueAndSendAction(value);
    return true;
}

QSize Scrubber::sizeHint() const {
    // No width of its own; the height fits the knob's grab area.
    const double height = std::max(barMetrics.barHeight, metrics.knobTrackingHeight);
    return {static_cast<int>(std::ceil(metrics.knobTrackingWidth)),
            static_cast<int>(std::ceil(height))};
}

QSize Scrubber::minimumSizeHint() const {
    return sizeHint();
}

double Scrubber::pixelRatio() const {
    return devicePixelRatioF();
}

void Scrubber::layoutRects() {
    const double ratio = pixelRatio();
    laidOutPixelRatio_ = ratio;
    const QRectF bounds(0, 0, width(), height());
    const double barInset = (bounds.height() - barMetrics.barHeight) / 2;
    barRect_ = backingAlignedRect(bounds.adjusted(0, barInset, 0, -barInset), ratio);

    knobPathTrackingRect_ =
        QRectF(barRect_.left() + metrics.knobWidth / 2, bounds.top(),
               std::max(barRect_.width() - metrics.knobWidth, 0.0), bounds.height());

    const double knobX = bounds.left() + fraction() * knobPathTrackingRect_.width();
    const QRectF knob(knobX, bounds.center().y() - metrics.knobHeight / 2, metrics.knobWidth,
                      metrics.knobHeight);
    const double growX = (metrics.knobTrackingWidth - metrics.knobWidth) / 2;
    const double growY = (metrics.knobTrackingHeight - metrics.knobHeight) / 2;
    const QRectF previousKnobRect = knobRect_;
    knobRect_ = backingAlignedRect(knob, ratio);
    knobTrackingRect_ = backingAlignedRect(knob.adjusted(-growX, -growY, growX, growY), ratio);

    // With increased contrast the two parts meet under the knob's centre; otherwise each stops
    // a gap short of the knob so the knob stands apart from the bar.
    const double leftEnd =
        increasesContrast_ ? knobRect_.center().x() : knobRect_.left() - metrics.knobBarGap;
    QRectF left = barRect_;
    left.setWidth(std::max(leftEnd - barRect_.left(), 0.0));
    const double rightStart =
        increasesContrast_ ? knobRect_.center().x() : knobRect_.right() + metrics.knobBarGap;
    QRectF right = barRect_;
    right.moveLeft(rightStart);
    right.setWidth(std::max(barRect_.right() - rightStart, 0.0));
    barLeftClipRect_ = backingAlignedRect(left, ratio);
    barRightClipRect_ = backingAlignedRect(right, ratio, !increasesContrast_);
    update();
    // A magnifier or a reader's pointer follows the knob.
    if (knobRect_ != previousKnobRect && isVisible()) {
        postAccessibilityValueIndicatorMoved(this);
    }
}

void Scrubber::paintEvent(QPaintEvent*) {
    if (pixelRatio() != laidOutPixelRatio_) {
        layoutRects();
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double barRadius = barMetrics.barCornerRadius;

    painter.save();
    painter.setClipRect(barLeftClipRect_);
    fillRoundedRect(painter, barRect_, barRadius, accentColor(*this));
    painter.restore();

    painter.save();
    painter.setClipRect(barRightClipRect_);
    fillRoundedRect(painter, barRect_, barRadius, unplayedColor(palette(), increasesContrast_));
    painter.restore();

    fillRoundedRect(painter, knobRect_, metrics.knobCornerRadius,
                    calyxware::toQColor(controlsTintColor(palette())));

    if (hasFocus()) {
        QPainterPath ring;
        ring.addRoundedRect(knobRect_.adjusted(-1.5, -1.5, 1.5, 1.5),
                            metrics.knobCornerRadius + 1.5, metrics.knobCornerRadius + 1.5);
        painter.strokePath(ring, QPen(accentColor(*this), 2));
    }
}

void Scrubber::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutRects();
}

void Scrubber::tellDelegateDidBeginTracking() {
    if (const auto delegate = delegate_.lock()) {
        delegate->scrubberDidBeginTracking();
    }
}

void Scrubber::tellDelegateDidEndTracking() {
    if (const auto delegate = delegate_.lock()) {
        delegate->scrubberDidEndTracking();
    }
}

void Scrubber::endTracking() {
    const bool wasTracking = dragX_.has_value() || isScrollTracking_;
    if (dragX_) {
        setMouseTracking(false);
    }
    dragX_.reset();
    isScrollTracking_ = false;
    if (wasTracking) {
        tellDelegateDidEndTracking();
    }
}

bool Scrubber::event(QEvent* event) {
    switch (event->type()) {
        // Every way the pointer can be lost ends the gesture: the press's release will not come
        // (a popup or another window took the pointer, the window went away, a modal window
        // opened over it), and the player must not stay in interactive seeking.
        case QEvent::Hide:
        case QEvent::WindowDeactivate:
        case QEvent::WindowBlocked:
        case QEvent::FocusOut:
        case QEvent::EnabledChange:
        case QEvent::UngrabMouse:
            endTracking();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void Scrubber::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A press that comes while a gesture is open means its end was lost on the way.
    endTracking();
    tellDelegateDidBeginTracking();
    const QPointF point = event->position();
    // A press on the knob grabs it where it is; anywhere else the knob jumps under the pointer.
    if (!knobTrackingRect_.contains(point)) {
        setFraction((point.x() - knobPathTrackingRect_.left()) / knobPathTrackingRect_.width());
    }
    dragX_ = point.x();
    // Moves without the button reach the view only while it tracks the mouse: one of them
    // is how a release that went elsewhere shows.
    setMouseTracking(true);
}

void Scrubber::mouseMoveEvent(QMouseEvent* event) {
    if (dragX_ && !(event->buttons() & Qt::LeftButton)) {
        // The button went up somewhere this view was not told of.
        endTracking();
    }
    if (!dragX_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const double x = *dragX_;
    const double deltaX = event->position().x() - x;
    dragX_ = event->position().x();
    const QRectF& path = knobPathTrackingRect_;
    if (path.width() <= 0) {
        return;
    }
    // The knob follows the pointer's movement, not its position, and only the part of the
    // movement made over the track counts: past an end the knob waits for the pointer.
    double counted = deltaX;
    if (x > path.right()) {
        const double outside = x - path.right();
        if (!(deltaX < -outside)) {
            return;
        }
        counted = deltaX + outside;
    } else if (x < path.left()) {
        const double outside = path.left() - x;
        if (!(outside < deltaX)) {
            return;
        }
        counted = deltaX - outside;
    }
    setFraction(clampedFraction(fraction() + counted / path.width()));
}

void Scrubber::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragX_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    endTracking();
}

double Scrubber::horizontalScrollDelta(const QWheelEvent& event) {
    // A plain wheel turns only vertically: as the platform turns such a wheel into sideways
    // scrolling over a horizontal control, the vertical delta counts when there is no
    // horizontal one (down and towards the user moves forward, as right does).
    const QPoint pixels = event.pixelDelta();
    if (!pixels.isNull()) {
        return pixels.x() != 0 ? pixels.x() : pixels.y();
    }
    const QPoint angle = event.angleDelta();
    return (angle.x() != 0 ? angle.x() : angle.y()) / 120.0 * wheelNotchDistance;
}

void Scrubber::wheelEvent(QWheelEvent* event) {
    const Qt::ScrollPhase phase = event->phase();
    if (phase == Qt::ScrollBegin) {
        endTracking();
        isScrollTracking_ = true;
        tellDelegateDidBeginTracking();
    }
    const double deviceDelta = horizontalScrollDelta(*event);
    const double delta = event->inverted() ? deviceDelta : -deviceDelta;
    const double range = std::max(maxValue_ - minValue_, 0.0);
    const double pathWidth = knobPathTrackingRect_.width();
    const double valuePerPoint = range / pathWidth;
    double newValue = value_;
    if (pathWidth <= 0) {
        // Nothing to scroll along until the scrubber has a width.
    } else if (scrollingValueAmount_ && *scrollingValueAmount_ < valuePerPoint) {
        newValue = value_ + delta * *scrollingValueAmount_;
    } else {
        newValue = minValue_ + clampedFraction(fraction() + delta / pathWidth) * range;
    }
    if (newValue != value_) {
        setValueAndSendAction(newValue);
    }
    if (phase == Qt::ScrollEnd) {
        // Only a gesture still open ends: one already ended by a lost pointer stays ended.
        endTracking();
    }
    event->accept();
}

void Scrubber::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            accessibilityPerformDecrement();
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
            accessibilityPerformIncrement();
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace quillon
