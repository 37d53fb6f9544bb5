#pragma once

#include <QRectF>
#include <QSlider>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "player-interface/widgets/AccessibleSlider.h"

namespace calyxware {
class Label;
}

namespace quillon {

// The part of DiscreteSlider that does not depend on the stops' value type: a horizontal slider
// that only rests on its tick marks (stop i is slider value i), the stops' titles centred on
// their tick marks on the tick-mark side without leaving the view, and the current stop told to
// assistive technology. This view, not the wrapped slider, takes the keyboard focus and reads
// as the one slider, so that a screen reader never meets the wrapped one without its name.
// Main thread only.
class DiscreteSliderBase : public QWidget, public AccessibleSlider {
public:
    struct Stop {
        std::optional<std::string> title;
        std::string accessibilityLabel;
    };

    ~DiscreteSliderBase() override;

    // The control itself; callers enable and disable it directly, then updateLabelColors().
    QSlider* slider() const;
    bool isEnabled() const;

    int selectedIndex() const;
    // Selects a stop without sending the action.
    void setSelectedIndex(int index);
    std::size_t count() const { return stops_.size(); }

    // Ticks and titles above the slider (QSlider::TicksAbove) or below it (TicksBelow).
    void setTickMarkPosition(QSlider::TickPosition position);

    // Titles in the control text colour, or the disabled one while the slider is disabled.
    void updateLabelColors();
    // Notes where the knob is for assistive technology and tells it that it moved.
    void updateAccessibilityValueIndicator();
    QRectF accessibilityValueIndicatorFrame() const override {
        return accessibilityValueIndicatorFrame_;
    }

    // The title view of a stop; null for a stop without title.
    calyxware::Label* label(std::size_t index) const { return labels_.at(index); }

    double minimumSpacingBetweenLabels() const { return minimumSpacingBetweenLabels_; }
    void setMinimumSpacingBetweenLabels(double spacing);

    // As wide as all titles side by side at the widest title's width with the spacing between
    // them, as tall as the slider and the tallest title.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    std::optional<std::string> accessibilityValueDescription() const override;
    bool accessibilityPerformIncrement() override;
    bool accessibilityPerformDecrement() override;
    bool accessibilityIsEnabled() const override { return isEnabled(); }

protected:
    DiscreteSliderBase(std::vector<Stop> stops, QWidget* parent);
    // Sends the user's change to the target.
    virtual void sendAction() = 0;
    // Moves to stop `index` as the user would; false while the slider is disabled.
    bool selectAsUser(int index);

    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    class TickSlider;

    void layoutSubviews();
    void sliderValueDidChange();
    void sliderEnabledDidChange();
    bool step(int by);
    double tickMarkCentreX(int index) const;

    std::vector<Stop> stops_;
    TickSlider* slider_;
    std::vector<calyxware::Label*> labels_;
    double minimumSpacingBetweenLabels_ = 13.0;
    QRectF accessibilityValueIndicatorFrame_;
};

}  // namespace quillon
