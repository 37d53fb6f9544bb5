#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

#include "player-interface/common/SingleTopLevelObject.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using platform::NSNib;

class IndicatorView final : public QWidget {};

std::shared_ptr<void> registerNib(const std::string& name,
                                  std::function<NSNib::TopLevelObjects()> make) {
    return NSNib::registerNib(
        name, [make = std::move(make)](QObject* owner) -> std::optional<NSNib::TopLevelObjects> {
            EXPECT_EQ(owner, nullptr);
            return make();
        });
}

TEST(SingleTopLevelObject, ReturnsTheOneObjectOfTheClassAmongOthers) {
    const auto registration = registerNib("Indicator", [] {
        NSNib::TopLevelObjects objects;
        objects.push_back(std::make_unique<QObject>());
        objects.push_back(std::make_unique<IndicatorView>());
        objects.push_back(std::make_unique<QLabel>());
        return objects;
    });
    const auto first = instantiateSingleTopLevelObject<IndicatorView>("Indicator");
    const auto second = instantiateSingleTopLevelObject<IndicatorView>("Indicator");
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first.get(), second.get());  // every instantiation builds afresh
}

TEST(SingleTopLevelObject, NibsComeAndGoWithTheirRegistration) {
    {
        const auto outer = registerNib("Shadowed", [] {
            NSNib::TopLevelObjects objects;
            objects.push_back(std::make_unique<QLabel>("outer"));
            return objects;
        });
        {
            const auto inner = registerNib("Shadowed", [] {
                NSNib::TopLevelObjects objects;
                objects.push_back(std::make_unique<QLabel>("inner"));
                return objects;
            });
            EXPECT_EQ(instantiateSingleTopLevelObject<QLabel>("Shadowed")->text(), "inner");
        }
        EXPECT_EQ(instantiateSingleTopLevelObject<QLabel>("Shadowed")->text(), "outer");
    }
    EXPECT_FALSE(NSNib::nibNamed("Shadowed").has_value());
}

using SingleTopLevelObjectDeathTest = ::testing::Test;

TEST_F(SingleTopLevelObjectDeathTest, BrokenNibsStopTheProcessNamingNibAndClass) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(instantiateSingleTopLevelObject<IndicatorView>("Absent"),
                 "Failed to instantiate nib named `Absent`\\.");
    EXPECT_DEATH(
        {
            const auto r = NSNib::registerNib(
                "Failing", [](QObject*) -> std::optional<NSNib::TopLevelObjects> { return {}; });
            instantiateSingleTopLevelObject<IndicatorView>("Failing");
        },
        "Failed to instantiate nib named `Failing`\\.");
    EXPECT_DEATH(
        {
            const auto r = registerNib("Empty", [] { return NSNib::TopLevelObjects{}; });
            instantiateSingleTopLevelObject<IndicatorView>("Empty");
        },
        "Nib named `Empty` does not have any top-level objects\\.");
    EXPECT_DEATH(
        {
            const auto r = registerNib("Two", [] {
                NSNib::TopLevelObjects objects;
                objects.push_back(std::make_unique<IndicatorView>());
                objects.push_back(std::make_unique<IndicatorView>());
                return objects;
            });
            instantiateSingleTopLevelObject<IndicatorView>("Two");
        },
        "Nib named `Two` does not have exactly one top-level object of type `IndicatorView`\\.");
    EXPECT_DEATH(
        {
            const auto r = registerNib("Others", [] {
                NSNib::TopLevelObjects objects;
                objects.push_back(std::make_unique<QLabel>());
                return objects;
            });
            instantiateSingleTopLevelObject<IndicatorView>("Others");
        },
        "Nib named `Others` does not have exactly one top-level object of type "
        "`IndicatorView`\\.");
}

}  // namespace
}  // namespace quillon
