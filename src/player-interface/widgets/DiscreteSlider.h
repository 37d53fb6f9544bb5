#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "player-interface/widgets/ControlAction.h"
#include "player-interface/widgets/DiscreteSliderBase.h"

namespace quillon {

// A slider with a fixed list of stops of type Value, each with an optional title shown at its
// tick mark and a description read to assistive technology while it is selected. The action is
// sent when the user (or assistive technology) moves to another stop, never when the program
// selects one.
template <typename Value>
class DiscreteSlider : public DiscreteSliderBase {
public:
    struct Item {
        Value value;
        std::optional<std::string> title;
        std::string accessibilityLabel;
    };

    explicit DiscreteSlider(std::vector<Item> items, QWidget* parent = nullptr)
        : DiscreteSliderBase(stopsOf(items), parent), items_(std::move(items)) {}

    const std::vector<Item>& items() const { return items_; }
    const Item& selectedItem() const {
        return items_.at(static_cast<std::size_t>(selectedIndex()));
    }

    // The stop nearest to `value`; the earlier of two equally near.
    std::size_t nearestItemIndex(Value value) const {
        std::size_t nearest = 0;
        for (std::size_t i = 1; i < items_.size(); ++i) {
            if (std::abs(items_[i].value - value) < std::abs(items_[nearest].value - value)) {
                nearest = i;
            }
        }
        return nearest;
    }

    ControlAction<DiscreteSlider>& action() { return action_; }

    double accessibilityValue() const override { return static_cast<double>(selectedItem().value); }
    double accessibilityMinValue() const override {
        return static_cast<double>(items_.front().value);
    }
    double accessibilityMaxValue() const override {
        return static_cast<double>(items_.back().value);
    }
    // The stop nearest to the value asked for.
    bool accessibilitySetValue(double value) override {
        return selectAsUser(static_cast<int>(nearestItemIndex(static_cast<Value>(value))));
    }

protected:
    void sendAction() override { action_.send(*this); }

private:
    static std::vector<Stop> stopsOf(const std::vector<Item>& items) {
        std::vector<Stop> stops;
        stops.reserve(items.size());
        for (const Item& item : items) {
            stops.push_back({item.title, item.accessibilityLabel});
        }
        return stops;
    }

    std::vector<Item> items_;
    ControlAction<DiscreteSlider> action_;
};

}  // namespace quillon
