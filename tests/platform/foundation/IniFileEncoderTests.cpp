#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QPoint>
#include <QRect>
#include <QSettings>
#include <QSize>
#include <QStringList>
#include <QTimeZone>
#include <map>

#include "platform/foundation/IniFileEncoder.h"
#include "support/ScratchFolder.h"

using namespace platform;

namespace {

// Keys and values that take each of the format's escapes, groups and typed forms.
std::map<QString, QVariant> awkwardValues() {
    return {
        {QStringLiteral("QPPlayAutomaticallyOnOpen"), true},
        {QStringLiteral("QPMuted"), false},
        {QStringLiteral("QPJumpIntervalInSeconds"), QVariant(qlonglong{-42})},
        {QStringLiteral("QPDefaultPlaybackRate"), QStringLiteral("1.5")},
        {QStringLiteral("text"), QStringLiteral("hello, world")},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("spaces"), QStringLiteral("  padded  ")},
        {QStringLiteral("lines"), QStringLiteral("a\nb=c;d\te\r\f\v\a\b")},
        {QStringLiteral("quotes"), QStringLiteral("say \"hi\" \\ bye")},
        {QStringLiteral("control"), QStringLiteral("\0010\037f")},
        {QStringLiteral("atSign"), QStringLiteral("@Variant(x)")},
        {QStringLiteral("unicode"), QString::fromUtf8("Ünïcode ✓ \U0001F3AC")},
        {QStringLiteral("bytes"), QByteArray("\377\376\177A b\0019", 8)},
        {QStringLiteral("list"), QStringList{QStringLiteral("a"), QStringLiteral("b, c")}},
        {QStringLiteral("emptyList"), QStringList{}},
        {QStringLiteral("rect"), QRect(1, 2, 3, 4)},
        {QStringLiteral("size"), QSize(640, 360)},
        {QStringLiteral("point"), QPoint(-5, 7)},
        {QStringLiteral("date"), QDateTime(QDate(2026, 12, 10), QTime(12, 30), QTimeZone::utc())},
        {QStringLiteral("double"), QVariant(2.5)},
        {QStringLiteral("key with spaces & signs%"), QStringLiteral("x")},
        {QString::fromUtf8("Ünïcode key ✓"), QStringLiteral("y")},
        {QStringLiteral("Group/key"), QStringLiteral("in a group")},
        {QStringLiteral("Group/sub/key"), QStringLiteral("deeper")},
        {QStringLiteral("General/key"), QStringLiteral("a group called General")},
    };
}

}  // namespace

TEST(IniFileEncoder, WritesTheBytesQSettingsWritesForAFreshFile) {
    quillon::test::ScratchFolder folder("quillon-ini");
    const QString path = QString::fromStdString(folder / "by-qsettings.conf");
    const auto values = awkwardValues();
    {
        QSettings settings(path, QSettings::IniFormat);
        for (const auto& [key, value] : values) {
            settings.setValue(key, value);
        }
        settings.sync();
        ASSERT_EQ(settings.status(), QSettings::NoError);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_EQ(encodeIniFile(values).toStdString(), written.toStdString());
}

TEST(IniFileEncoder, QSettingsReadsBackEveryValue) {
    quillon::test::ScratchFolder folder("quillon-ini");
    const std::string path = folder / "encoded.conf";
    const auto values = awkwardValues();
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(encodeIniFile(values));
    }
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    ASSERT_EQ(settings.status(), QSettings::NoError);
    EXPECT_EQ(static_cast<std::size_t>(settings.allKeys().size()), values.size());
    for (const auto& [key, value] : values) {
        SCOPED_TRACE(key.toStdString());
        const QVariant read = settings.value(key);
        // INI keeps no types but its own: numbers and booleans come back as their text.
        if (value.typeId() == QMetaType::Bool || value.typeId() == QMetaType::LongLong ||
            value.typeId() == QMetaType::Double) {
            EXPECT_EQ(read.toString(), value.toString());
        } else if (value.typeId() == QMetaType::QStringList && value.toStringList().isEmpty()) {
            EXPECT_TRUE(read.toStringList().isEmpty());
        } else {
            EXPECT_EQ(read, value);
        }
    }
}
