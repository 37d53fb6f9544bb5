#pragma once

#include <QByteArray>
#include <QPropertyAnimation>
#include <QWidget>
#include <memory>
#include <string_view>

#include "libraries/calyxware/Animator.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSColor.h"

namespace calyxware {

// A view that draws only its own decoration: a background colour filling its bounds, clipped to
// rounded corners of `cornerRadius`, and a border of `borderColor` inside the bounds that
// follows the same corners. The border width is in points or in device pixels; a width in
// pixels stays that many pixels at any device pixel ratio, read at paint time (`contentsScale`).
//
// The colours, the corner radius and the border width (as `animatableBorderWidthInPoints` or
// `animatableBorderWidthInPixels`) animate through `animator()`, each from its own default
// animation; a border width animation starts from the width in effect, converted to its unit.
// Main thread only.
class LayerView : public QWidget, public platform::NSSecureCoding {
    Q_OBJECT
    Q_PROPERTY(platform::NSColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(double animatableBorderWidthInPoints READ animatableBorderWidthInPoints WRITE
                   setAnimatableBorderWidthInPoints NOTIFY animatableBorderWidthInPointsChanged)
    Q_PROPERTY(double animatableBorderWidthInPixels READ animatableBorderWidthInPixels WRITE
                   setAnimatableBorderWidthInPixels NOTIFY animatableBorderWidthInPixelsChanged)
    Q_PROPERTY(platform::NSColor borderColor READ borderColor WRITE setBorderColor)
    Q_PROPERTY(double cornerRadius READ cornerRadius WRITE setCornerRadius)

public:
    static constexpr std::string_view className = "LayerView";

    // A border width in points or in device pixels; equal when the unit and the value are.
    class BorderWidth {
    public:
        enum class Unit { points, pixels };

        static constexpr BorderWidth points(platform::CGFloat value) {
            return {Unit::points, value};
        }
        static constexpr BorderWidth pixels(platform::CGFloat value) {
            return {Unit::pixels, value};
        }

        constexpr Unit unit() const { return unit_; }
        constexpr bool isPoints() const { return unit_ == Unit::points; }
        constexpr platform::CGFloat value() const { return value_; }
        // The width in points at this device pixel ratio.
        constexpr platform::CGFloat inPoints(platform::CGFloat contentsScale) const {
            return isPoints() ? value_ : value_ / contentsScale;
        }
        constexpr platform::CGFloat inPixels(platform::CGFloat contentsScale) const {
            return isPoints() ? value_ * contentsScale : value_;
        }

        friend constexpr bool operator==(const BorderWidth&, const BorderWidth&) = default;

    private:
        constexpr BorderWidth(Unit unit, platform::CGFloat value) : unit_(unit), value_(value) {}
        Unit unit_;
        platform::CGFloat value_;
    };

    explicit LayerView(QWidget* parent = nullptr);
    explicit LayerView(const platform::CGRect& frame, QWidget* parent = nullptr);
    ~LayerView() override;

    platform::NSColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const platform::NSColor& color);

    virtual BorderWidth borderWidth() const { return borderWidth_; }
    // Also announces both animatable widths as changed (their stored values stay as they were).
    virtual void setBorderWidth(BorderWidth width);

    // The last values set through these setters; each also sets the border width in its unit.
    platform::CGFloat animatableBorderWidthInPoints() const { return animatableWidthInPoints_; }
    void setAnimatableBorderWidthInPoints(platform::CGFloat width);
    platform::CGFloat animatableBorderWidthInPixels() const { return animatableWidthInPixels_; }
    void setAnimatableBorderWidthInPixels(platform::CGFloat width);

    platform::NSColor borderColor() const { return borderColor_; }
    void setBorderColor(const platform::NSColor& color);

    virtual platform::CGFloat cornerRadius() const { return cornerRadius_; }
    virtual void setCornerRadius(platform::CGFloat radius);

    // The device pixel ratio the view was last shown or painted at; 1 before that.
    platform::CGFloat contentsScale() const { return contentsScale_; }

    // Sets a property through its animation; see Animator.
    Animator& animator() { return animator_; }
    // The animation of a key that the view animates, not yet bound to a view; null otherwise.
    static std::unique_ptr<QPropertyAnimation> defaultAnimationForKey(const QByteArray& key);
    // The default animation bound to this view; a border width animation without a start value
    // starts from the current width in the key's unit.
    virtual std::unique_ptr<QPropertyAnimation> animationForKey(const QByteArray& key);

    void encode(platform::NSKeyedArchiver& coder) const override;
    std::string_view codingClassName() const override { return className; }
    static std::shared_ptr<LayerView> initWithCoder(platform::NSKeyedUnarchiver& coder);

signals:
    void animatableBorderWidthInPointsChanged();
    void animatableBorderWidthInPixelsChanged();

protected:
    struct DecodingTag {};
    LayerView(DecodingTag, QWidget* parent);
    // Reads the view's keys into this (new) view; false after a failure.
    bool decodeFromCoder(platform::NSKeyedUnarchiver& coder);

    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    platform::NSColor backgroundColor_ = platform::NSColor::clearColor();
    BorderWidth borderWidth_ = BorderWidth::points(0);
    platform::CGFloat animatableWidthInPoints_ = 0;
    platform::CGFloat animatableWidthInPixels_ = 0;
    platform::CGFloat contentsScale_ = 1.0;
    platform::NSColor borderColor_ = platform::NSColor::blackColor();
    platform::CGFloat cornerRadius_ = 0;
    Animator animator_;
};

}  // namespace calyxware
