#include "player-interface/widgets/AccessibleSlider.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <mutex>

namespace quillon {

namespace {

// The slider behind `widget`; null once the widget is being torn down past its slider part,
// when assistive technology may still ask.
AccessibleSlider* sliderOf(QWidget* widget) {
    return dynamic_cast<AccessibleSlider*>(widget);
}

// Stands where the knob is, so that assistive technology can point at it and follow it; it
// has no words of its own, as the slider speaks for the value.
class ValueIndicatorAccessibleInterface : public QAccessibleInterface {
public:
    explicit ValueIndicatorAccessibleInterface(QWidget* widget) : widget_(widget) {}

    bool isValid() const override { return sliderOf(widget_) != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return widget_ != nullptr ? widget_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return widget_ != nullptr ? QAccessible::queryAccessibleInterface(widget_) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text) const override { return {}; }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const AccessibleSlider* slider = sliderOf(widget_);
        if (slider == nullptr) {
            return {};
        }
        const QRect frame = slider->accessibilityValueIndicatorFrame().toAlignedRect();
        return {widget_->mapToGlobal(frame.topLeft()), frame.size()};
    }
    QAccessible::Role role() const override { return QAccessible::Indicator; }
    QAccessible::State state() const override {
        QAccessible::State state;
        const AccessibleSlider* slider = sliderOf(widget_);
        if (slider == nullptr || !widget_->isVisible()) {
            state.invisible = true;
            return state;
        }
        state.disabled = !widget_->isEnabled() || !slider->accessibilityIsEnabled();
        return state;
    }

private:
    QPointer<QWidget> widget_;
};

class SliderAccessibleInterface : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SliderAccessibleInterface(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::Slider) {}
    ~SliderAccessibleInterface() override {
        if (indicatorId_ != 0) {
            QAccessible::deleteAccessibleInterface(indicatorId_);
        }
    }
    SliderAccessibleInterface(const SliderAccessibleInterface&) = delete;
    SliderAccessibleInterface& operator=(const SliderAccessibleInterface&) = delete;

    bool isValid() const override { return QAccessibleWidget::isValid() && slider() != nullptr; }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    // The widgets that draw the control (a wrapped slider, stop titles) are not read on their
    // own: the value indicator is the only child.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? indicator() : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child == indicator() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* knob = indicator();
        return knob->rect().contains(x, y) ? knob : nullptr;
    }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text type) const override {
        const AccessibleSlider* control = slider();
        if (type == QAccessible::Value && control != nullptr) {
            const auto description = control->accessibilityValueDescription();
            return description ? QString::fromStdString(*description)
                               : QString::number(control->accessibilityValue());
        }
        // The desktop's accessibility bus carries only the number of a value, which says
        // little on its own ("83.2" for a time): the words go along as the description,
        // which screen readers speak after the value.
        if (type == QAccessible::Description && control != nullptr &&
            widget()->accessibleDescription().isEmpty()) {
            const auto description = control->accessibilityValueDescription();
            return description ? QString::fromStdString(*description) : QString();
        }
        return QAccessibleWidget::text(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        const AccessibleSlider* control = slider();
        if (control != nullptr && !control->accessibilityIsEnabled()) {
            state.disabled = true;
            state.focusable = false;
        }
        return state;
    }

    QVariant currentValue() const override {
        const AccessibleSlider* control = slider();
        return control != nullptr ? QVariant(control->accessibilityValue()) : QVariant();
    }
    void setCurrentValue(const QVariant& value) override {
        AccessibleSlider* control = slider();
        bool isNumber = false;
        const double number = value.toDouble(&isNumber);
        if (control != nullptr && isNumber && widget()->isEnabled()) {
            control->accessibilitySetValue(number);
        }
    }
    QVariant maximumValue() const override {
        const AccessibleSlider* control = slider();
        return control != nullptr ? QVariant(control->accessibilityMaxValue()) : QVariant();
    }
    QVariant minimumValue() const override {
        const AccessibleSlider* control = slider();
        return control != nullptr ? QVariant(control->accessibilityMinValue()) : QVariant();
    }
    QVariant minimumStepSize() const override { return 0; }

    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << increaseAction() << decreaseAction();
    }
    void doAction(const QString& actionName) override {
        AccessibleSlider* control = slider();
        if (control == nullptr) {
            return;
        }
        if (actionName == increaseAction()) {
            control->accessibilityPerformIncrement();
        } else if (actionName == decreaseAction()) {
            control->accessibilityPerformDecrement();
        } else {
            QAccessibleWidget::doAction(actionName);
        }
    }

private:
    AccessibleSlider* slider() const { return sliderOf(widget()); }

    // Made on first use and kept while this interface lives; the cache owns it by its id.
    QAccessibleInterface* indicator() const {
        if (indicatorId_ == 0) {
            indicatorId_ = QAccessible::registerAccessibleInterface(
                new ValueIndicatorAccessibleInterface(widget()));
        }
        return QAccessible::accessibleInterface(indicatorId_);
    }

    mutable QAccessible::Id indicatorId_ = 0;
};

QAccessibleInterface* sliderAccessibleFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr || sliderOf(widget) == nullptr) {
        return nullptr;
    }
    return new SliderAccessibleInterface(widget);
}

AccessibilityValueChangeObserver& valueChangeObserver() {
    static AccessibilityValueChangeObserver observer;
    return observer;
}

AccessibilityValueIndicatorMoveObserver& indicatorMoveObserver() {
    static AccessibilityValueIndicatorMoveObserver observer;
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

void setAccessibilityValueIndicatorMoveObserver(AccessibilityValueIndicatorMoveObserver observer) {
    indicatorMoveObserver() = std::move(observer);
}

void postAccessibilityValueChanged(QWidget* widget, double value) {
    if (valueChangeObserver()) {
        valueChangeObserver()(widget, value);
    }
    QAccessibleValueChangeEvent event(widget, value);
    QAccessible::updateAccessibility(&event);
    // The value's words travel as the description.
    QAccessibleEvent descriptionChanged(widget, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&descriptionChanged);
}

void postAccessibilityValueIndicatorMoved(QWidget* widget) {
    QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(widget);
    QAccessibleInterface* indicator = slider != nullptr ? slider->child(0) : nullptr;
    if (indicator == nullptr || indicator->role() != QAccessible::Indicator) {
        return;
    }
    if (indicatorMoveObserver()) {
        indicatorMoveObserver()(widget, indicator->rect());
    }
    QAccessibleEvent event(indicator, QAccessible::LocationChanged);
    QAccessible::updateAccessibility(&event);
}

}  // namespace quillon
