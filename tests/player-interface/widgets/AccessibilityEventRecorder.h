#pragma once

#include <QRect>
#include <QWidget>
#include <utility>
#include <vector>

#include "player-interface/widgets/AccessibleSlider.h"

namespace quillon::test {

// Records the value changes posted to assistive technology while it lives, and the moves of the
// sliders' value indicators.
class AccessibilityEventRecorder {
public:
    AccessibilityEventRecorder() {
        setAccessibilityValueChangeObserver(
            [this](QWidget* widget, double value) { valueChanges_.emplace_back(widget, value); });
        setAccessibilityValueIndicatorMoveObserver(
            [this](QWidget* widget, QRect frame) { indicatorMoves_.emplace_back(widget, frame); });
    }
    ~AccessibilityEventRecorder() {
        setAccessibilityValueIndicatorMoveObserver(nullptr);
        setAccessibilityValueChangeObserver(nullptr);
    }
    AccessibilityEventRecorder(const AccessibilityEventRecorder&) = delete;
    AccessibilityEventRecorder& operator=(const AccessibilityEventRecorder&) = delete;

    // The values posted for `widget`, in order.
    std::vector<double> valueChanges(const QWidget* widget) const {
        std::vector<double> values;
        for (const auto& [source, value] : valueChanges_) {
            if (source == widget) {
                values.push_back(value);
            }
        }
        return values;
    }

    // Where the value indicator of `widget` was each time it was told to have moved.
    std::vector<QRect> indicatorMoves(const QWidget* widget) const {
        std::vector<QRect> moves;
        for (const auto& [source, frame] : indicatorMoves_) {
            if (source == widget) {
                moves.push_back(frame);
            }
        }
        return moves;
    }

private:
    std::vector<std::pair<const QWidget*, double>> valueChanges_;
    std::vector<std::pair<const QWidget*, QRect>> indicatorMoves_;
};

}  // namespace quillon::test
