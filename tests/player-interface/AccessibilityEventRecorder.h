#pragma once

#include <QWidget>
#include <utility>
#include <vector>

#include "player-interface/AccessibleSlider.h"

namespace quillon::test {

// Records the value changes posted to assistive technology while it lives.
class AccessibilityEventRecorder {
public:
    AccessibilityEventRecorder() {
        setAccessibilityValueChangeObserver(
            [this](QWidget* widget, double value) { valueChanges_.emplace_back(widget, value); });
    }
    ~AccessibilityEventRecorder() { setAccessibilityValueChangeObserver(nullptr); }
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

private:
    std::vector<std::pair<const QWidget*, double>> valueChanges_;
};

}  // namespace quillon::test
