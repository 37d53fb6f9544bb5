#include "player-interface/widgets/DiscreteSliderBase.h"

#include <QAccessible>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>
#include <cmath>

#include "libraries/calyxware/Label.h"
#include "libraries/calyxware/QtConversions.h"
#include "libraries/calyxware/TextContainer.h"
#include "libraries/calyxware/TextStorage.h"
#include "platform/foundation/FatalError.h"
#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSParagraphStyle.h"

namespace quillon {

// The slider's own style option is what places its handle; the layout of the titles asks it.
class DiscreteSliderBase::TickSlider : public QSlider {
public:
    using QSlider::initStyleOption;
    using QSlider::QSlider;

protected:
    void changeEvent(QEvent* event) override {
        QSlider::changeEvent(event);
        if (event->type() == QEvent::EnabledChange) {
            if (auto* view = dynamic_cast<DiscreteSliderBase*>(parentWidget())) {
                view->sliderEnabledDidChange();
            }
        }
    }

    // The wrapping view holds the focus for this slider; the slider still shows it.
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionSlider option;
        initStyleOption(&option);
        if (parentWidget() != nullptr && parentWidget()->hasFocus()) {
            option.state |= QStyle::State_HasFocus;
        }
        option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
        if (tickPosition() != QSlider::NoTicks) {
            option.subControls |= QStyle::SC_SliderTickmarks;
        }
        if (isSliderDown()) {
            option.activeSubControls = QStyle::SC_SliderHandle;
            option.state |= QStyle::State_Sunken;
        }
        style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    }
};

namespace {

// The system font size of regular-size controls.
constexpr double regularControlFontSize = 13.0;

calyxware::Label* makeLabel(const DiscreteSliderBase::Stop& stop, QWidget* parent) {
    if (!stop.title) {
        return nullptr;
    }
    auto* label = new calyxware::Label(parent);
    label->setSelectable(false);
    platform::NSParagraphStyle paragraphStyle = platform::NSParagraphStyle::defaultParagraphStyle();
    paragraphStyle.alignment = platform::NSTextAlignmentCenter;
    label->textStorage()->appendAttributedString(platform::NSAttributedString(
        *stop.title, {{platform::NSFontAttributeName,
                       platform::NSFont::systemFontOfSize(regularControlFontSize)},
                      {platform::NSParagraphStyleAttributeName, paragraphStyle}}));
    label->setAccessibleName(QString::fromStdString(stop.accessibilityLabel));
    // A title is one line: measure it unwrapped, then let the container follow the frame that
    // the layout gives it (its fitting width), where the centring happens.
    calyxware::TextContainer& container = *label->textContainer();
    container.setWidthTracksTextView(false);
    container.setSize({1e7, 1e7});
    label->invalidateIntrinsicContentSize();
    const platform::CGSize fitting = label->fittingSize();
    label->setFrameSize(fitting);
    container.setWidthTracksTextView(true);
    return label;
}

}  // namespace

DiscreteSliderBase::DiscreteSliderBase(std::vector<Stop> stops, QWidget* parent)
    : QWidget(parent), stops_(std::move(stops)), slider_(new TickSlider(Qt::Horizontal, this)) {
    platform::precondition(!stops_.empty(), "A discrete slider needs at least one stop.");
    installSliderAccessibility();
    setGeometry(0, 0, 1, 1);
    slider_->setRange(0, static_cast<int>(stops_.size()) - 1);
    slider_->setValue(0);
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    slider_->setTickInterval(1);
    slider_->setTickPosition(QSlider::TicksBelow);
    // A drag sends the action once, for the stop where it ends, not for each stop it crosses.
    slider_->setTracking(false);
    // The slider itself is not what assistive technology reads: this view speaks for it, and
    // takes the focus (a click on the slider passes it up here) and the keys for it.
    slider_->setAccessibleName(QString());
    slider_->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    QObject::connect(slider_, &QSlider::valueChanged, this, [this] { sliderValueDidChange(); });
    for (const Stop& stop : stops_) {
        labels_.push_back(makeLabel(stop, this));
    }
    updateLabelColors();
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

DiscreteSliderBase::~DiscreteSliderBase() = default;

QSlider* DiscreteSliderBase::slider() const {
    return slider_;
}

bool DiscreteSliderBase::isEnabled() const {
    return slider_->isEnabled();
}

int DiscreteSliderBase::selectedIndex() const {
    return slider_->value();
}

void DiscreteSliderBase::setSelectedIndex(int index) {
    {
        const QSignalBlocker blocker(slider_);
        slider_->setValue(index);
    }
    updateAccessibilityValueIndicator();
    postAccessibilityValueChanged(this, accessibilityValue());
}

void DiscreteSliderBase::setTickMarkPosition(QSlider::TickPosition position) {
    slider_->setTickPosition(position);
    layoutSubviews();
}

void DiscreteSliderBase::setMinimumSpacingBetweenLabels(double spacing) {
    minimumSpacingBetweenLabels_ = spacing;
    updateGeometry();
}

void DiscreteSliderBase::updateLabelColors() {
    const QPalette::ColorGroup group = slider_->isEnabled() ? QPalette::Active : QPalette::Disabled;
    const platform::NSColor color =
        calyxware::toNSColor(slider_->palette().color(group, QPalette::WindowText));
    for (calyxware::Label* label : labels_) {
        if (label != nullptr) {
            calyxware::TextStorage& storage = *label->textStorage();
            storage.addAttribute(platform::NSForegroundColorAttributeName, color,
                                 platform::NSMakeRange(0, storage.length()));
            label->update();
        }
    }
}

void DiscreteSliderBase::updateAccessibilityValueIndicator() {
    QStyleOptionSlider option;
    slider_->initStyleOption(&option);
    const QRect knob = slider_->style()->subControlRect(QStyle::CC_Slider, &option,
                                                        QStyle::SC_SliderHandle, slider_);
    accessibilityValueIndicatorFrame_ = QRectF(slider_->mapTo(this, knob.topLeft()), knob.size());
    postAccessibilityValueIndicatorMoved(this);
}

double DiscreteSliderBase::tickMarkCentreX(int index) const {
    QStyleOptionSlider option;
    slider_->initStyleOption(&option);
    option.sliderPosition = index;
    option.sliderValue = index;
    const QRect handle = slider_->style()->subControlRect(QStyle::CC_Slider, &option,
                                                          QStyle::SC_SliderHandle, slider_);
    return slider_->x() + QRectF(handle).center().x();
}

QSize DiscreteSliderBase::sizeHint() const {
    double widest = 0;
    double tallest = 0;
    for (const calyxware::Label* label : labels_) {
        if (label != nullptr) {
            const platform::CGSize size = label->fittingSize();
            widest = std::max(widest, size.width);
            tallest = std::max(tallest, size.height);
        }
    }
    const auto count = static_cast<double>(stops_.size());
    const double width = minimumSpacingBetweenLabels_ * (count - 1) + count * widest;
    const double height = slider_->sizeHint().height() + tallest;
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

void DiscreteSliderBase::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutSubviews();
}

void DiscreteSliderBase::layoutSubviews() {
    const int sliderHeight = slider_->sizeHint().height();
    const bool ticksAbove = slider_->tickPosition() == QSlider::TicksAbove;
    // Titles go on the side of the tick marks: the slider takes the other edge.
    slider_->setGeometry(0, ticksAbove ? height() - sliderHeight : 0, width(), sliderHeight);

    double tallest = 0;
    for (const calyxware::Label* label : labels_) {
        if (label != nullptr) {
            tallest = std::max(tallest, label->fittingSize().height);
        }
    }
    const double y = ticksAbove ? slider_->y() - tallest : slider_->geometry().bottom() + 1;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        calyxware::Label* label = labels_[i];
        if (label == nullptr) {
            continue;
        }
        const double labelWidth = label->fittingSize().width;
        double x = std::max(tickMarkCentreX(static_cast<int>(i)) - labelWidth / 2, 0.0);
        x = std::min(x, std::max(width() - labelWidth, 0.0));
        label->setFrame(platform::CGRectMake(x, y, labelWidth, tallest));
    }
    updateAccessibilityValueIndicator();
}

void DiscreteSliderBase::sliderValueDidChange() {
    updateAccessibilityValueIndicator();
    postAccessibilityValueChanged(this, accessibilityValue());
    sendAction();
}

std::optional<std::string> DiscreteSliderBase::accessibilityValueDescription() const {
    return stops_.at(static_cast<std::size_t>(selectedIndex())).accessibilityLabel;
}

void DiscreteSliderBase::sliderEnabledDidChange() {
    // A slider that refuses every step is not offered to the keyboard, and assistive
    // technology hears of its state from this view, which speaks for it.
    setFocusPolicy(slider_->isEnabled() ? Qt::StrongFocus : Qt::NoFocus);
    if (!slider_->isEnabled() && hasFocus()) {
        clearFocus();
    }
    QAccessible::State changed;
    changed.disabled = true;
    changed.focusable = true;
    QAccessibleStateChangeEvent stateChange(this, changed);
    QAccessible::updateAccessibility(&stateChange);
}

bool DiscreteSliderBase::selectAsUser(int index) {
    if (!slider_->isEnabled()) {
        return false;
    }
    // The slider's change notification does the rest, as for a user's move.
    slider_->setValue(index);
    return true;
}

bool DiscreteSliderBase::step(int by) {
    const int target = selectedIndex() + by;
    if (!slider_->isEnabled() || target < 0 || target > static_cast<int>(stops_.size()) - 1) {
        return false;
    }
    return selectAsUser(target);
}

void DiscreteSliderBase::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
        case Qt::Key_PageDown:
            step(-1);
            break;
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_PageUp:
            step(1);
            break;
        case Qt::Key_Home:
            selectAsUser(0);
            break;
        case Qt::Key_End:
            selectAsUser(static_cast<int>(stops_.size()) - 1);
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

void DiscreteSliderBase::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    slider_->update();
}

void DiscreteSliderBase::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    slider_->update();
}

bool DiscreteSliderBase::accessibilityPerformIncrement() {
    return step(1);
}

bool DiscreteSliderBase::accessibilityPerformDecrement() {
    return step(-1);
}

}  // namespace quillon
