#include "platform/appkit/NSStackView.h"

#include <QLayout>
#include <algorithm>
#include <cmath>
#include <vector>

namespace platform {

class NSStackView::Layout final : public QLayout {
public:
    explicit Layout(NSStackView& stack) : QLayout(&stack), stack_(stack) {
        setContentsMargins(0, 0, 0, 0);
    }
    ~Layout() override {
        for (QLayoutItem* item : items_) {
            delete item;
        }
    }

    void addItem(QLayoutItem* item) override { items_.push_back(item); }
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override {
        return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)] : nullptr;
    }
    QLayoutItem* takeAt(int index) override {
        if (index < 0 || index >= count()) {
            return nullptr;
        }
        QLayoutItem* item = items_[static_cast<std::size_t>(index)];
        items_.erase(items_.begin() + index);
        return item;
    }

    QSize sizeHint() const override { return arrangedSize(); }
    QSize minimumSize() const override { return arrangedSize(); }

    void setGeometry(const QRect& rect) override {
        QLayout::setGeometry(rect);
        const bool vertical = isVertical();
        double along = 0;
        for (const auto& [item, gap] : visibleItems()) {
            const QSize hint = item->sizeHint();
            const int cross = vertical ? std::min(hint.width(), rect.width())
                                       : std::min(hint.height(), rect.height());
            const int position = static_cast<int>(std::lround(along));
            if (vertical) {
                item->setGeometry(QRect(rect.x() + (rect.width() - cross) / 2, rect.y() + position,
                                        cross, hint.height()));
                along += hint.height() + gap;
            } else {
                item->setGeometry(QRect(rect.x() + position, rect.y() + (rect.height() - cross) / 2,
                                        hint.width(), cross));
                along += hint.width() + gap;
            }
        }
    }

private:
    bool isVertical() const {
        return stack_.orientation() == NSUserInterfaceLayoutOrientation::vertical;
    }

    // The shown items, each with the gap that follows it (none after the last).
    std::vector<std::pair<QLayoutItem*, double>> visibleItems() const {
        std::vector<std::pair<QLayoutItem*, double>> visible;
        for (QLayoutItem* item : items_) {
            if (QWidget* widget = item->widget(); widget != nullptr && !widget->isHidden()) {
                visible.emplace_back(item, stack_.gapAfter(widget));
            }
        }
        if (!visible.empty()) {
            visible.back().second = 0;
        }
        return visible;
    }

    QSize arrangedSize() const {
        double along = 0;
        int cross = 0;
        for (const auto& [item, gap] : visibleItems()) {
            const QSize hint = item->sizeHint();
            along += (isVertical() ? hint.height() : hint.width()) + gap;
            cross = std::max(cross, isVertical() ? hint.width() : hint.height());
        }
        const int length = static_cast<int>(std::ceil(along));
        return isVertical() ? QSize(cross, length) : QSize(length, cross);
    }

    NSStackView& stack_;
    std::vector<QLayoutItem*> items_;
};

NSStackView::NSStackView(NSUserInterfaceLayoutOrientation orientation, QWidget* parent)
    : QWidget(parent), orientation_(orientation), layout_(new Layout(*this)) {}

NSStackView::~NSStackView() = default;

void NSStackView::addArrangedSubview(QWidget* view) {
    layout_->addWidget(view);
}

std::vector<QWidget*> NSStackView::arrangedSubviews() const {
    std::vector<QWidget*> views;
    for (int index = 0; index < layout_->count(); ++index) {
        if (QWidget* widget = layout_->itemAt(index)->widget()) {
            views.push_back(widget);
        }
    }
    return views;
}

void NSStackView::setSpacing(CGFloat spacing) {
    spacing_ = spacing;
    layout_->invalidate();
}

void NSStackView::setCustomSpacingAfterView(CGFloat spacing, QWidget* view) {
    if (spacing == customSpacingAfterViewDefault) {
        customSpacings_.erase(view);
    } else {
        customSpacings_[view] = spacing;
    }
    layout_->invalidate();
}

CGFloat NSStackView::customSpacingAfterView(QWidget* view) const {
    const auto found = customSpacings_.find(view);
    return found == customSpacings_.end() ? customSpacingAfterViewDefault : found->second;
}

CGFloat NSStackView::gapAfter(QWidget* view) const {
    const auto found = customSpacings_.find(view);
    return found == customSpacings_.end() ? spacing_ : found->second;
}

}  // namespace platform
