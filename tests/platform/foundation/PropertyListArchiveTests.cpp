#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCborArray>
#include <QCborMap>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedArchiverFormat.h"
#include "platform/foundation/KeyedUnarchiver.h"

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

// An archive holding `value` under "key" as it is, for input no archiver would write.
Bytes archiveWithValue(const QCborValue& value) {
    namespace format = keyed_archive;
    const QByteArray bytes = QCborMap{{format::kArchiverKey, format::kArchiverName},
                                      {format::kVersionKey, format::kVersion},
                                      {format::kTopKey, QCborMap{{QStringLiteral("key"), value}}}}
                                 .toCborValue()
                                 .toCbor();
    return Bytes(bytes.begin(), bytes.end());
}

QCborValue wrapped(const QCborValue& tree) {
    return QCborMap{{keyed_archive::kPropertyListKey, tree}};
}

QCborValue nestedArrays(std::size_t depth) {
    QCborValue value(1);
    for (std::size_t i = 0; i < depth; ++i) {
        value = QCborArray{value};
    }
    return value;
}

TEST(PropertyListArchive, TreesRoundTripThroughArchiveBytes) {
    const QCborValue tree = QCborMap{
        {QStringLiteral("text"), QCborArray{QStringLiteral(""), QStringLiteral("日本語")}},
        {QStringLiteral("data"), QByteArray("\0\1\xff", 3)},
        {QStringLiteral("numbers"), QCborArray{std::numeric_limits<qint64>::min(), -0.5, true}},
        {QStringLiteral("empty"), QCborArray{QCborMap{}}},
        {QStringLiteral("deepest"), nestedArrays(kPropertyListMaximumDepth - 1)},
    };
    NSKeyedArchiver archiver;
    archiver.encodePropertyList(tree, "tree");
    NSKeyedUnarchiver unarchiver(archiver.encodedData());

    EXPECT_EQ(unarchiver.decodePropertyList("tree"), tree);
    EXPECT_EQ(unarchiver.decodePropertyList("missing"), std::nullopt);
    EXPECT_EQ(unarchiver.error(), nullptr);
}

// Anything but a well-formed tree fails decoding: a tree never passes for an object or a plain
// value, nor they for a tree.
TEST(PropertyListArchive, EverythingElseIsADecodingFailure) {
    NSKeyedArchiver archiver;
    archiver.encodeString("text", "string");
    const Bytes plainValue = archiver.encodedData();
    const std::vector<Bytes> hostile{
        plainValue,
        archiveWithValue(wrapped(QCborArray{1, QCborValue(nullptr)})),
        archiveWithValue(wrapped(QCborValue(QCborKnownTags::PositiveBignum, QByteArray("\1")))),
        archiveWithValue(wrapped(QCborMap{{1, QStringLiteral("integer key")}})),
        archiveWithValue(QCborMap{{keyed_archive::kPropertyListKey, 1}, {QStringLiteral("x"), 2}}),
        archiveWithValue(wrapped(nestedArrays(kPropertyListMaximumDepth + 1))),
        archiveWithValue(QCborMap{{keyed_archive::kClassKey, QStringLiteral("Cue")},
                                  {keyed_archive::kFieldsKey, QCborMap{}}}),
    };
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        NSKeyedUnarchiver unarchiver(hostile[i]);
        EXPECT_EQ(unarchiver.decodePropertyList(i == 0 ? "string" : "key"), std::nullopt) << i;
        ASSERT_NE(unarchiver.error(), nullptr) << i;
        EXPECT_EQ(unarchiver.error()->code(), NSCoderReadCorruptError);
    }
}

}  // namespace
