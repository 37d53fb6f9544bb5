#include <gtest/gtest.h>

#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFDictionary.h"

using namespace platform;

namespace {
struct Named : CFObject {
    explicit Named(std::string n) : name(std::move(n)) {}
    bool isEqual(const CFObject& other) const override {
        const auto* named = dynamic_cast<const Named*>(&other);
        return named && named->name == name;
    }
    std::string description() const override { return name; }
    std::string name;
};
}  // namespace

TEST(CFDictionary, TypedReadsRefuseOtherKinds) {
    CFDictionary dictionary{{"flag", true}, {"count", std::int64_t{3}}, {"name", std::string("x")}};
    EXPECT_EQ(dictionary.boolValue("flag"), true);
    EXPECT_EQ(dictionary.boolValue("count"), std::nullopt);
    EXPECT_EQ(dictionary.doubleValue("count"), 3.0);  // integers read as numbers
    EXPECT_EQ(dictionary.integerValue("name"), std::nullopt);
    EXPECT_EQ(dictionary.stringValue("missing"), std::nullopt);
    EXPECT_EQ(dictionary.dataValue("name"), nullptr);
}

TEST(CFDictionary, EqualityComparesNestedContentNotIdentity) {
    auto bytes = std::vector<std::uint8_t>{1, 2, 3};
    CFDictionary a{{"data", CFDataCreate(bytes)},
                   {"nested", std::make_shared<const CFDictionary>(CFDictionary{{"k", 1.5}})},
                   {"object", std::make_shared<const Named>("srgb")}};
    CFDictionary b{{"data", CFDataCreate(bytes)},
                   {"nested", std::make_shared<const CFDictionary>(CFDictionary{{"k", 1.5}})},
                   {"object", std::make_shared<const Named>("srgb")}};
    EXPECT_EQ(a, b);
    b.set("object", std::make_shared<const Named>("p3"));
    EXPECT_FALSE(a == b);
    EXPECT_NE(a.objectValue<Named>("object"), nullptr);
    EXPECT_EQ(a.objectValue<Named>("data"), nullptr);
}

TEST(CFDictionary, MergeReplacesAndNumbersCompareAcrossKinds) {
    CFDictionary base{{"a", std::int64_t{1}}, {"b", std::int64_t{2}}};
    base.merge(CFDictionary{{"b", 2.0}, {"c", false}});
    EXPECT_EQ(base.size(), 3u);
    EXPECT_TRUE(CFValueEqual(*base.find("b"), CFValue{std::int64_t{2}}));
    base.remove("a");
    EXPECT_FALSE(base.contains("a"));
}

TEST(CFData, NoCopyDataSharesStorageUntilTheLastReferenceGoes) {
    auto storage = std::make_shared<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{7, 8});
    std::weak_ptr<std::vector<std::uint8_t>> watch = storage;
    auto data = CFDataCreateWithBytesNoCopy(storage->data(), storage->size(), storage);
    const std::uint8_t* where = storage->data();
    storage.reset();
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(data->data(), where);
    EXPECT_EQ(*data, *CFDataCreate(std::vector<std::uint8_t>{7, 8}));
    data.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(CFBase, FourCharCodesPutTheFirstCharacterInTheHighByte) {
    static_assert(fourCharCode("BGRA") == 0x42475241u);
    EXPECT_EQ(fourCharCodeString(fourCharCode("420v")), "420v");
    EXPECT_EQ(fourCharCodeString(32), "32");
}
