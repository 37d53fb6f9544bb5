#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Shaped like the restoration record of an external subtitles file.
class Parameters : public SecureCoded<Parameters> {
public:
    static constexpr std::string_view className = "test.Parameters";

    std::optional<Bytes> bookmark;
    std::string url;
    Bytes restorableState;

    void encode(NSKeyedArchiver& coder) const override {
        if (bookmark) {
            coder.encodeData(*bookmark, "urlBookmarkData");
        }
        coder.encodeString(url, "url");
        coder.encodeData(restorableState, "restorableState");
    }

    static std::shared_ptr<Parameters> initWithCoder(NSKeyedUnarchiver& coder) {
        auto result = std::make_shared<Parameters>();
        result->bookmark = coder.decodeData("urlBookmarkData");
        auto url = coder.decodeString("url");
        auto state = coder.decodeData("restorableState");
        if (!url || !state) {
            coder.failWithError(NSError(NSCocoaErrorDomain, NSCoderValueNotFoundError));
            return nullptr;
        }
        result->url = *url;
        result->restorableState = *state;
        return result;
    }
};

class SourceState : public SecureCoded<SourceState> {
public:
    static constexpr std::string_view className = "test.SourceState";

    std::string identifier;
    std::vector<std::shared_ptr<Parameters>> parameters;
    std::shared_ptr<Parameters> primary;
    std::vector<std::string> languages;

    void encode(NSKeyedArchiver& coder) const override {
        coder.encodeString(identifier, "id");
        coder.encodeArrayOfObjects(parameters, "parameters");
        coder.encodeObject(primary, "primary");
        coder.encodeArrayOfStrings(languages, "languages");
    }

    static std::shared_ptr<SourceState> initWithCoder(NSKeyedUnarchiver& coder) {
        auto result = std::make_shared<SourceState>();
        result->identifier = coder.decodeString("id").value_or("");
        result->parameters = coder.decodeArrayOfObjects<Parameters>("parameters")
                                 .value_or(std::vector<std::shared_ptr<Parameters>>{});
        result->primary = coder.decodeObjectOfClass<Parameters>("primary");
        result->languages =
            coder.decodeArrayOfStrings("languages").value_or(std::vector<std::string>{});
        return result;
    }
};

class Shape : public SecureCoded<Shape> {
public:
    static constexpr std::string_view className = "test.Shape";
    std::int64_t sides = 0;
    void encode(NSKeyedArchiver& coder) const override { coder.encodeInt64(sides, "sides"); }
    static std::shared_ptr<Shape> initWithCoder(NSKeyedUnarchiver& coder) {
        auto shape = std::make_shared<Shape>();
        shape->sides = coder.decodeInt64("sides");
        return shape;
    }
};

class Square : public SecureCoded<Square, Shape> {
public:
    static constexpr std::string_view className = "test.Square";
    static constexpr std::string_view superclassName = "test.Shape";
    double side = 0;
    void encode(NSKeyedArchiver& coder) const override {
        Shape::encode(coder);
        coder.encodeDouble(side, "side");
    }
    static std::shared_ptr<Square> initWithCoder(NSKeyedUnarchiver& coder) {
        auto square = std::make_shared<Square>();
        square->sides = coder.decodeInt64("sides");
        square->side = coder.decodeDouble("side");
        return square;
    }
};

// Writes a Parameters record that lacks its restorable state.
class IncompleteParameters : public SecureCoded<IncompleteParameters, Parameters> {
public:
    static constexpr std::string_view className = Parameters::className;
    void encode(NSKeyedArchiver& coder) const override { coder.encodeString("file:///x", "url"); }
};

// A linked list, to build archives nested as deeply as a test needs.
class Link : public SecureCoded<Link> {
public:
    static constexpr std::string_view className = "test.Link";
    std::shared_ptr<Link> next;
    void encode(NSKeyedArchiver& coder) const override { coder.encodeObject(next, "next"); }
    static std::shared_ptr<Link> initWithCoder(NSKeyedUnarchiver& coder) {
        auto link = std::make_shared<Link>();
        link->next = coder.decodeObjectOfClass<Link>("next");
        return link;
    }
};

// Never registered: archives may name it, but it must never be instantiated from one.
class Unregistered : public NSSecureCoding {
public:
    void encode(NSKeyedArchiver& coder) const override { coder.encodeBool(true, "flag"); }
    std::string_view codingClassName() const override { return "test.Unregistered"; }
};

std::shared_ptr<Parameters> makeParameters(std::string url, std::optional<Bytes> bookmark) {
    auto parameters = std::make_shared<Parameters>();
    parameters->url = std::move(url);
    parameters->bookmark = std::move(bookmark);
    NSKeyedArchiver nested;
    nested.encodeString("A1", "org.quillon.MediaSource.id");
    parameters->restorableState = nested.encodedData();
    return parameters;
}

Bytes archiveOf(const std::function<void(NSKeyedArchiver&)>& encode) {
    NSKeyedArchiver archiver;
    encode(archiver);
    archiver.finishEncoding();
    return archiver.encodedData();
}

void expectReadCorrupt(const std::shared_ptr<const NSError>& error) {
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain(), NSCocoaErrorDomain);
    EXPECT_EQ(error->code(), NSCoderReadCorruptError);
}

}  // namespace

TEST(KeyedArchive, NestedObjectsArraysAndNestedArchivesRoundTrip) {
    SourceState state;
    state.identifier = "B7-ü";
    state.parameters = {makeParameters("file:///m/Movie.srt", Bytes{1, 2, 0, 255}),
                        makeParameters("file:///m/Movie.en.ass", std::nullopt)};
    state.primary = state.parameters[1];
    state.languages = {"en", "zh-Hans"};

    NSKeyedArchiver archiver(true);
    EXPECT_TRUE(archiver.requiresSecureCoding());
    archiver.encodeObject(state, "state");
    archiver.finishEncoding();

    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    EXPECT_TRUE(unarchiver.archiveRequiresSecureCoding());
    auto decoded = unarchiver.decodeObjectOfClass<SourceState>("state");
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(unarchiver.error(), nullptr);
    EXPECT_EQ(decoded->identifier, "B7-ü");
    EXPECT_EQ(decoded->languages, state.languages);
    ASSERT_EQ(decoded->parameters.size(), 2u);
    EXPECT_EQ(decoded->parameters[0]->url, "file:///m/Movie.srt");
    EXPECT_EQ(decoded->parameters[0]->bookmark, (Bytes{1, 2, 0, 255}));
    EXPECT_EQ(decoded->parameters[1]->bookmark, std::nullopt);
    ASSERT_NE(decoded->primary, nullptr);
    EXPECT_EQ(decoded->primary->url, "file:///m/Movie.en.ass");

    // The nested archive is opaque bytes to the outer one and opens on its own.
    NSKeyedUnarchiver nested(decoded->parameters[0]->restorableState);
    EXPECT_EQ(nested.decodeString("org.quillon.MediaSource.id"), "A1");
    nested.finishDecoding();
    EXPECT_TRUE(nested.hasFinishedDecoding());
}

TEST(KeyedArchive, ScalarsRoundTripAndMissingKeysAnswerDefaultsWithoutError) {
    const Bytes data = archiveOf([](NSKeyedArchiver& a) {
        a.encodeBool(true, "bool");
        a.encodeInt64(std::numeric_limits<std::int64_t>::min(), "min");
        a.encodeInt64(std::numeric_limits<std::int64_t>::max(), "max");
        a.encodeDouble(-0.1, "double");
        a.encodeString("", "empty");
        a.encodeData({}, "noBytes");
        a.encodeObject(std::shared_ptr<const NSSecureCoding>(), "null");
        a.encodeInt64(1, "overwritten");
        a.encodeInt64(2, "overwritten");
    });
    NSKeyedUnarchiver unarchiver(data);
    EXPECT_TRUE(unarchiver.decodeBool("bool"));
    EXPECT_EQ(unarchiver.decodeInt64("min"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(unarchiver.decodeInt64("max"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(unarchiver.decodeDouble("double"), -0.1);
    EXPECT_EQ(unarchiver.decodeString("empty"), "");
    EXPECT_EQ(unarchiver.decodeData("noBytes"), Bytes{});
    EXPECT_EQ(unarchiver.decodeInt64("overwritten"), 2);
    EXPECT_TRUE(unarchiver.containsValue("null"));
    EXPECT_EQ(unarchiver.decodeObjectOfClass<Shape>("null"), nullptr);

    EXPECT_FALSE(unarchiver.containsValue("missing"));
    EXPECT_FALSE(unarchiver.decodeBool("missing"));
    EXPECT_EQ(unarchiver.decodeInt64("missing"), 0);
    EXPECT_EQ(unarchiver.decodeDouble("missing"), 0.0);
    EXPECT_EQ(unarchiver.decodeString("missing"), std::nullopt);
    EXPECT_EQ(unarchiver.decodeData("missing"), std::nullopt);
    EXPECT_EQ(unarchiver.decodeObjectOfClass<Shape>("missing"), nullptr);
    EXPECT_EQ(unarchiver.decodeArrayOfObjects<Shape>("missing"), std::nullopt);
    EXPECT_EQ(unarchiver.decodeArrayOfStrings("missing"), std::nullopt);
    EXPECT_EQ(unarchiver.error(), nullptr);
}

TEST(KeyedArchive, NumbersOfAnotherKindAnswerConversionsOrDefaultsWithoutError) {
    const Bytes data = archiveOf([](NSKeyedArchiver& a) {
        a.encodeString("12", "string");
        a.encodeDouble(2.9, "double");
        a.encodeDouble(1e300, "huge");
        a.encodeInt64(3, "int");
        a.encodeObject(Shape(), "object");
    });
    NSKeyedUnarchiver unarchiver(data);
    EXPECT_EQ(unarchiver.decodeInt64("string"), 0);
    EXPECT_FALSE(unarchiver.decodeBool("string"));
    EXPECT_EQ(unarchiver.decodeDouble("object"), 0.0);
    EXPECT_EQ(unarchiver.decodeInt64("double"), 2);
    EXPECT_EQ(unarchiver.decodeInt64("huge"), 0);
    EXPECT_EQ(unarchiver.decodeDouble("int"), 3.0);
    EXPECT_TRUE(unarchiver.decodeBool("int"));
    EXPECT_EQ(unarchiver.error(), nullptr);
}

TEST(KeyedArchive, ValueOfTheWrongClassSetsTheErrorAndLaterDecodesAnswerDefaults) {
    const Bytes data = archiveOf([](NSKeyedArchiver& a) {
        a.encodeObject(Shape(), "shape");
        a.encodeInt64(5, "number");
        a.encodeString("text", "text");
    });
    {
        NSKeyedUnarchiver unarchiver(data);
        EXPECT_EQ(unarchiver.decodeObjectOfClass<SourceState>("shape"), nullptr);
        expectReadCorrupt(unarchiver.error());
        // Once failed, the unarchiver answers defaults even for good values.
        EXPECT_EQ(unarchiver.decodeInt64("number"), 0);
        EXPECT_EQ(unarchiver.decodeString("text"), std::nullopt);
    }
    {
        NSKeyedUnarchiver unarchiver(data);
        EXPECT_EQ(unarchiver.decodeString("number"), std::nullopt);
        expectReadCorrupt(unarchiver.error());
    }
    {
        NSKeyedUnarchiver unarchiver(data);
        EXPECT_EQ(unarchiver.decodeObjectOfClass<Shape>("text"), nullptr);
        expectReadCorrupt(unarchiver.error());
    }
    {
        NSKeyedUnarchiver unarchiver(data);
        EXPECT_EQ(unarchiver.decodeData("shape"), std::nullopt);
        EXPECT_EQ(unarchiver.decodeArrayOfStrings("text"), std::nullopt);
        expectReadCorrupt(unarchiver.error());
    }
}

TEST(KeyedArchive, RaisePolicyThrowsTheDecodingError) {
    const Bytes data = archiveOf([](NSKeyedArchiver& a) { a.encodeObject(Shape(), "shape"); });
    NSKeyedUnarchiver unarchiver(data);
    unarchiver.setDecodingFailurePolicy(NSDecodingFailurePolicy::raiseException);
    try {
        unarchiver.decodeObjectOfClass<SourceState>("shape");
        FAIL() << "expected a thrown NSError";
    } catch (const NSError& error) {
        EXPECT_EQ(error.code(), NSCoderReadCorruptError);
    }
    expectReadCorrupt(unarchiver.error());
    EXPECT_THROW(NSKeyedUnarchiver::unarchivedObjectOfClass<SourceState>(
                     NSKeyedArchiver::archivedData(Shape())),
                 NSError);
}

TEST(KeyedArchive, UnregisteredClassIsNeverInstantiated) {
    const Bytes data =
        archiveOf([](NSKeyedArchiver& a) { a.encodeObject(Unregistered(), "object"); });
    NSKeyedUnarchiver unarchiver(data);
    EXPECT_EQ(unarchiver.decodeObjectOfClasses("object", {"test.Unregistered"}), nullptr);
    expectReadCorrupt(unarchiver.error());
    EXPECT_FALSE(NSSecureCodingRegistry::isRegistered("test.Unregistered"));
}

TEST(KeyedArchive, SubclassDecodesThroughItsBaseButNotTheReverse) {
    NSSecureCodingRegistry::registerClass<Square>();
    Square square;
    square.sides = 4;
    square.side = 2.5;
    Shape triangle;
    triangle.sides = 3;
    const Bytes data = archiveOf([&](NSKeyedArchiver& a) {
        a.encodeObject(square, "square");
        a.encodeObject(triangle, "triangle");
    });

    NSKeyedUnarchiver unarchiver(data);
    auto shape = unarchiver.decodeObjectOfClass<Shape>("square");
    ASSERT_NE(shape, nullptr);
    auto decodedSquare = std::dynamic_pointer_cast<Square>(shape);
    ASSERT_NE(decodedSquare, nullptr);
    EXPECT_EQ(decodedSquare->side, 2.5);
    EXPECT_EQ(decodedSquare->sides, 4);

    EXPECT_EQ(unarchiver.decodeObjectOfClass<Square>("triangle"), nullptr);
    expectReadCorrupt(unarchiver.error());
}

TEST(KeyedArchive, OneBadElementFailsTheWholeArray) {
    const Bytes data = archiveOf([](NSKeyedArchiver& a) {
        std::vector<std::shared_ptr<NSSecureCoding>> mixed{std::make_shared<Shape>(),
                                                           std::make_shared<SourceState>()};
        a.encodeArrayOfObjects(mixed, "mixed");
    });
    NSKeyedUnarchiver unarchiver(data);
    EXPECT_EQ(unarchiver.decodeArrayOfObjects<Shape>("mixed"), std::nullopt);
    expectReadCorrupt(unarchiver.error());
}

TEST(KeyedArchive, ObjectDecoderRefusalPropagatesItsError) {
    // A record without its required restorable state, nested inside another object.
    SourceState state;
    state.parameters = {std::make_shared<IncompleteParameters>()};
    NSKeyedUnarchiver unarchiver(NSKeyedArchiver::archivedData(state));
    EXPECT_EQ(unarchiver.decodeObjectOfClass<SourceState>(NSKeyedArchiveRootObjectKey), nullptr);
    ASSERT_NE(unarchiver.error(), nullptr);
    EXPECT_EQ(unarchiver.error()->code(), NSCoderValueNotFoundError);
}

TEST(KeyedArchive, UntypedDecodingIsRefusedUnderSecureCoding) {
    const Bytes data = archiveOf([](NSKeyedArchiver& a) { a.encodeObject(Shape(), "shape"); });
    NSSecureCodingRegistry::registerClass<Shape>();
    {
        NSKeyedUnarchiver unarchiver(data);
        EXPECT_EQ(unarchiver.decodeObject("shape"), nullptr);
        expectReadCorrupt(unarchiver.error());
    }
    {
        NSKeyedUnarchiver unarchiver(data);
        unarchiver.setRequiresSecureCoding(false);
        EXPECT_NE(std::dynamic_pointer_cast<Shape>(unarchiver.decodeObject("shape")), nullptr);
    }
}

TEST(KeyedArchive, DataThatIsNotAnArchiveIsRefusedWithReadCorruptError) {
    Bytes valid = NSKeyedArchiver::archivedData(Shape());
    Bytes truncated(valid.begin(), valid.end() - 3);
    Bytes trailing = valid;
    trailing.push_back(0);
    const std::vector<Bytes> inputs{
        {},
        {0xff, 0x00, 0x13},
        {0x01},                   // a CBOR integer
        {0xa1, 0x61, 'a', 0x01},  // a CBOR map, but not ours
        truncated,
        trailing,
    };
    for (const auto& input : inputs) {
        try {
            NSKeyedUnarchiver unarchiver(input);
            ADD_FAILURE() << "accepted " << input.size() << " bytes";
        } catch (const NSError& error) {
            EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
            EXPECT_EQ(error.code(), NSCoderReadCorruptError);
            EXPECT_EQ(error.localizedDescription(),
                      "The data couldn’t be read because it isn’t in the correct format.");
        }
    }
}

TEST(KeyedArchive, DamagedArchivesNeverCrashTheReader) {
    SourceState state;
    state.identifier = "A1";
    state.parameters = {makeParameters("file:///a.srt", Bytes{9, 9})};
    state.languages = {"fr"};
    const Bytes valid = NSKeyedArchiver::archivedData(state);
    for (std::size_t i = 0; i < valid.size(); ++i) {
        for (std::uint8_t flip : {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0xff}}) {
            Bytes damaged = valid;
            damaged[i] ^= flip;
            try {
                NSKeyedUnarchiver unarchiver(damaged);
                // Anything may come back, as long as reading it is safe.
                unarchiver.decodeObjectOfClass<SourceState>(NSKeyedArchiveRootObjectKey);
            } catch (const NSError& error) {
                EXPECT_EQ(error.code(), NSCoderReadCorruptError);
            }
        }
    }
}

TEST(KeyedArchive, HostileNestingIsRefusedInsteadOfExhaustingTheStack) {
    auto head = std::make_shared<Link>();
    for (int i = 0; i < 300; ++i) {
        auto link = std::make_shared<Link>();
        link->next = std::move(head);
        head = std::move(link);
    }
    const Bytes deep = NSKeyedArchiver::archivedData(*head);
    // Unlink iteratively: a recursive destruction of a long list would itself be deep.
    while (head) {
        head = std::move(head->next);
    }
    NSKeyedUnarchiver unarchiver(deep);
    EXPECT_EQ(unarchiver.decodeObjectOfClass<Link>(NSKeyedArchiveRootObjectKey), nullptr);
    expectReadCorrupt(unarchiver.error());

    Bytes nestedArrays(200000, 0x81);  // each byte opens an array of one element
    nestedArrays.push_back(0x00);
    EXPECT_THROW(NSKeyedUnarchiver{nestedArrays}, NSError);
}

TEST(KeyedArchive, ArchivesAreReadOnManyThreadsAtOnce) {
    SourceState state;
    state.identifier = "A1";
    state.parameters = {makeParameters("file:///a.srt", std::nullopt),
                        makeParameters("file:///b.srt", Bytes{1})};
    const Bytes data = NSKeyedArchiver::archivedData(state);
    std::vector<std::thread> threads;
    std::atomic<int> decoded{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                NSSecureCodingRegistry::registerClass<Square>();
                auto object = NSKeyedUnarchiver::unarchivedObjectOfClass<SourceState>(data);
                if (object && object->parameters.size() == 2) {
                    ++decoded;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(decoded.load(), 200);
}
