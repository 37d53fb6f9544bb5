#include "player-interface/AccessibleSlider.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>
#include <mutex>

namespace quillon {

namespace {

class SliderAccessibleInterface : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    SliderAccessibleInterface(QWidget* widget, AccessibleSlider& slider)
        : QAccessibleWidget(widget, QAccessible::Slider), slider_(slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value) {
            const auto description = slider_.accessibilityValueDescription();
            return description ? QString::fromStdString(*description)
                               : QString::number(slider_.accessibilityValue());
        }
        return QAccessibleWidget::text(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        if (!slider_.accessibilityIsEnabled()) {
            state.disabled = true;
            state.focusable = false;
        }
        return state;
    }

    QVariant currentValue() const override { return slider_.accessibilityValue(); }
    // Values are set by steps only, as a user would.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return slider_.accessibilityMaxValue(); }
    QVariant minimumValue() const override { return slider_.accessibilityMinValue(); }
    QVariant minimumStepSize() const override { return 0; }

    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << increaseAction() << decreaseAction();
    }
    void doAction(const QString& actionName) override {
        if (actionName == increaseAction()) {
            slider_.accessibilityPerformIncrement();
        } else if (actionName == decreaseAction()) {
            slider_.accessibilityPerformDecrement();
        } else {
            QAccessibleWidget::doAction(actionName);
        }
    }

private:
    AccessibleSlider& slider_;
};

QAccessibleInterface* sliderAccessibleFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    auto* slider = dynamic_cast<AccessibleSlider*>(widget);
    return slider == nullptr ? nullptr : new SliderAccessibleInterface(widget, *slider);
}

AccessibilityValueChangeObserver& valueChangeObserver() {
    static AccessibilityValueChangeObserver observer;
    return observer;
}

}  // namespace

void installSliderAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(sliderAccessibleFactory); });
}

void setAccessibilityValueChangeObserver(AccessibilityValueChangeObserver observer) {
    valueChangeObserver() = std::move(observer);
}

void postAccessibilityValueChanged(QWidget* widget, double value) {
    if (valueChangeObserver()) {
        valueChangeObserver()(widget, value);
    }
    QAccessibleValueChangeEvent event(widget, value);
    QAccessible::updateAccessibility(&event);
}

}  // namespace quillon
