#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/NeverDestroyed.h"

#include <charconv>
#include <cmath>
#include <limits>

#include <QByteArray>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"
#include "platform/foundation/IniFileEncoder.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {

// Where the player keeps its preferences, under the XDG configuration directory.
constexpr const char* kConfigurationDirectory = "quillon-player";
constexpr const char* kConfigurationFile = "quillon-player.conf";
// How long a save waits for another writer of the file to finish, in milliseconds.
constexpr int kFileLockWait = 2000;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view skipSpaces(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// The platform's string-to-boolean reading: after spaces, a sign and zeros, a Y, T or a digit
// from 1 to 9 means true; the rest of the text doesn't matter.
bool boolFromText(std::string_view text) {
    text = skipSpaces(text);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.front() == '0') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    char c = text.front();
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// Leading spaces, a sign and digits; saturates on overflow; 0 without digits.
std::int64_t integerFromText(std::string_view text) {
    text = skipSpaces(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint64_t magnitude = 0;
    const std::uint64_t limit =
        negative ? std::uint64_t{1} << 63 : std::uint64_t{std::numeric_limits<std::int64_t>::max()};
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
        if (magnitude > limit) {
            magnitude = limit;
            break;
        }
    }
    if (negative) {
        return magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                                  : -static_cast<std::int64_t>(magnitude);
    }
    return static_cast<std::int64_t>(magnitude);
}

// Leading spaces, then the longest number; 0 when there is none.
double doubleFromText(std::string_view text) {
    text = skipSpaces(text);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    (void)end;
    return error == std::errc() ? value : 0.0;
}

std::int64_t integerFromDouble(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double limit = 9223372036854775808.0;  // 2^63
    if (value >= limit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value < -limit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(value);
}

// What a stored text means when it is read back from the file.
UserDefaults::Value valueFromStoredText(const std::string& text) {
    if (text == "true") {
        return true;
    }
    if (text == "false") {
        return false;
    }
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (!text.empty() && (text.front() == '-' || (text.front() >= '0' && text.front() <= '9'))) {
        std::int64_t integer = 0;
        auto [integerEnd, integerError] = std::from_chars(begin, end, integer);
        if (integerError == std::errc() && integerEnd == end) {
            return integer;
        }
    }
    bool looksDecimal = text.find_first_of(".eE") != std::string::npos || text == "inf" ||
                        text == "-inf" || text == "nan" || text == "-nan";
    if (looksDecimal && !text.empty() && text.front() != '+') {
        double number = 0;
        auto [doubleEnd, doubleError] = std::from_chars(begin, end, number);
        if (doubleError == std::errc() && doubleEnd == end) {
            return number;
        }
    }
    return text;
}

// Shortest text that reads back as the same double (and not as an integer).
std::string storedTextOfDouble(double value) {
    std::string text = fmt::format("{}", value);
    if (text.find_first_of(".eEna") == std::string::npos) {
        text += ".0";
    }
    return text;
}

QVariant storedVariant(const UserDefaults::Value& value) {
    if (const auto* boolean = std::get_if<bool>(&value)) {
        return QVariant(*boolean);
    }
    if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        return QVariant(static_cast<qlonglong>(*integer));
    }
    if (const auto* number = std::get_if<double>(&value)) {
        return QVariant(QString::fromStdString(storedTextOfDouble(*number)));
    }
    const auto& text = std::get<std::string>(value);
    QString unicode = QString::fromStdString(text);
    bool readsBackAsString = std::holds_alternative<std::string>(valueFromStoredText(text));
    if (readsBackAsString && unicode.toStdString() == text) {
        return QVariant(unicode);
    }
    // Text that would read back as a number or boolean, or isn't UTF-8, keeps its bytes.
    return QVariant(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

std::optional<UserDefaults::Value> valueOfVariant(const QVariant& variant) {
    switch (variant.typeId()) {
        case QMetaType::QString:
            return valueFromStoredText(variant.toString().toStdString());
        case QMetaType::QByteArray: {
            QByteArray bytes = variant.toByteArray();
            return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        }
        case QMetaType::QStringList:
            // An unquoted comma in a hand-edited file splits the text into a list.
            return variant.toStringList().join(QStringLiteral(", ")).toStdString();
        case QMetaType::Bool:
            return variant.toBool();
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
            return static_cast<std::int64_t>(variant.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return variant.toDouble();
        default:
            if (variant.canConvert<QString>()) {
                return variant.toString().toStdString();
            }
            return std::nullopt;
    }
}

}  // namespace

UserDefaults::UserDefaults(std::string iniFilePath)
    : filePath_(std::move(iniFilePath)), writer_(filePath_, "the user defaults") {
    bool ok = true;
    stored_ = readFile(ok);
}

UserDefaults::~UserDefaults() = default;

std::string UserDefaults::standardFilePath() {
    QString directory = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return fmt::format("{}/{}/{}", directory.toStdString(), kConfigurationDirectory,
                       kConfigurationFile);
}

UserDefaults& UserDefaults::standard() {
    // Never destroyed, like the notification centre it posts to.
    static NeverDestroyed<UserDefaults> defaults(standardFilePath());
    return defaults.get();
}

std::map<std::string, UserDefaults::Value> UserDefaults::readFile(bool& ok) const {
    QSettings settings(QString::fromStdString(filePath_), QSettings::IniFormat);
    std::map<std::string, Value> values;
    ok = settings.status() == QSettings::NoError;
    if (!ok) {
        logError("Can't read the user defaults in {}: {}", filePath_,
                 settings.status() == QSettings::FormatError ? "malformed file" : "access denied");
        return values;
    }
    const QStringList keys = settings.allKeys();
    for (const QString& key : keys) {
        if (auto value = valueOfVariant(settings.value(key))) {
            values.emplace(key.toStdString(), std::move(*value));
        } else {
            logWarning("Ignoring the user default {} in {}: its type can't be read",
                       key.toStdString(), filePath_);
        }
    }
    return values;
}

void UserDefaults::saveChanges() {
    // Other writers of the file take the same lock (QSettings does). One that holds it too long
    // is not waited for: the file is replaced whole either way, and at worst loses its change.
    QLockFile lock(QString::fromStdString(filePath_) + QStringLiteral(".lock"));
    (void)lock.tryLock(kFileLockWait);
    // What the file holds now, with another writer's keys, and the changes over it.
    std::map<QString, QVariant> contents;
    {
        // A QSettings object per read: one that lived on would post itself update events to
        // the thread that made it.
        QSettings settings(QString::fromStdString(filePath_), QSettings::IniFormat);
        if (settings.status() == QSettings::AccessError) {
            // Writing now would drop every key that could not be read.
            logError("Can't read the user defaults in {}: access denied", filePath_);
            return;
        }
        const QStringList keys = settings.allKeys();
        for (const QString& key : keys) {
            contents.emplace(key, settings.value(key));
        }
    }
    for (const auto& [key, value] : unsavedChanges_) {
        if (value) {
            contents.insert_or_assign(QString::fromStdString(key), storedVariant(*value));
        } else {
            contents.erase(QString::fromStdString(key));
        }
    }
    const QByteArray text = encodeIniFile(contents);
    if (writer_.write(std::string_view(text.constData(), static_cast<std::size_t>(text.size())))) {
        unsavedChanges_.clear();
    }
}

std::optional<UserDefaults::Value> UserDefaults::effectiveValueLocked(
    const std::string& key) const {
    if (auto it = stored_.find(key); it != stored_.end()) {
        return it->second;
    }
    if (auto it = registered_.find(key); it != registered_.end()) {
        return it->second;
    }
    return std::nullopt;
}

void UserDefaults::registerDefaults(const std::map<std::string, Value>& defaults) {
    std::vector<std::string> changedKeys;
    bool changed = false;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [key, value] : defaults) {
            auto [it, inserted] = registered_.try_emplace(key, value);
            if (!inserted) {
                if (it->second == value) {
                    continue;
                }
                it->second = value;
            }
            changed = true;
            if (!stored_.contains(key)) {
                changedKeys.push_back(key);
            }
        }
    }
    if (changed) {
        announce(changedKeys);
    }
}

std::optional<UserDefaults::Value> UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return effectiveValueLocked(key);
}

bool UserDefaults::boolForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) {
        return false;
    }
    return std::visit(
        [](const auto& v) -> bool {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return boolFromText(v);
            } else {
                return v != 0;
            }
        },
        *value);
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) {
        return 0;
    }
    return std::visit(
        [](const auto& v) -> std::int64_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return integerFromText(v);
            } else if constexpr (std::is_same_v<T, double>) {
                return integerFromDouble(v);
            } else {
                return static_cast<std::int64_t>(v);
            }
        },
        *value);
}

double UserDefaults::doubleForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) {
        return 0.0;
    }
    return std::visit(
        [](const auto& v) -> double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return doubleFromText(v);
            } else {
                return static_cast<double>(v);
            }
        },
        *value);
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) {
        return std::nullopt;
    }
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? "1" : "0";
            } else {
                return fmt::format("{}", v);
            }
        },
        *value);
}

void UserDefaults::setObject(Value value, const std::string& key) {
    std::vector<std::string> changedKeys;
    {
        std::lock_guard writeLock(writeMutex_);
        {
            std::lock_guard lock(mutex_);
            auto it = stored_.find(key);
            if (it != stored_.end() && it->second == value) {
                return;
            }
            if (effectiveValueLocked(key) != value) {
                changedKeys.push_back(key);
            }
            stored_.insert_or_assign(key, value);
        }
        unsavedChanges_.insert_or_assign(key, std::move(value));
        saveChanges();
    }
    announce(changedKeys);
}

void UserDefaults::removeObject(const std::string& key) {
    std::vector<std::string> changedKeys;
    {
        std::lock_guard writeLock(writeMutex_);
        {
            std::lock_guard lock(mutex_);
            auto it = stored_.find(key);
            if (it == stored_.end()) {
                return;
            }
            Value before = std::move(it->second);
            stored_.erase(it);
            if (effectiveValueLocked(key) != before) {
                changedKeys.push_back(key);
            }
        }
        unsavedChanges_.insert_or_assign(key, std::nullopt);
        saveChanges();
    }
    announce(changedKeys);
}

bool UserDefaults::synchronize() {
    std::vector<std::string> changedKeys;
    bool changed = false;
    bool ok = true;
    {
        std::lock_guard writeLock(writeMutex_);
        if (!unsavedChanges_.empty()) {
            saveChanges();
        }
        auto fresh = readFile(ok);
        if (!ok) {
            return false;
        }
        // What still could not be saved stays in force.
        for (const auto& [key, value] : unsavedChanges_) {
            if (value) {
                fresh.insert_or_assign(key, *value);
            } else {
                fresh.erase(key);
            }
        }
        std::lock_guard lock(mutex_);
        if (fresh == stored_) {
            return true;
        }
        changed = true;
        std::map<std::string, Value> previous = std::exchange(stored_, std::move(fresh));
        auto checkKey = [&](const std::string& key) {
            auto before =
                previous.contains(key) ? std::optional(previous.at(key)) : std::optional<Value>();
            if (!before) {
                if (auto it = registered_.find(key); it != registered_.end()) {
                    before = it->second;
                }
            }
            if (effectiveValueLocked(key) != before) {
                changedKeys.push_back(key);
            }
        };
        for (const auto& [key, value] : previous) {
            checkKey(key);
        }
        for (const auto& [key, value] : stored_) {
            if (!previous.contains(key)) {
                checkKey(key);
            }
        }
    }
    if (changed) {
        announce(changedKeys);
    }
    return true;
}

ObserverToken UserDefaults::observe(const std::string& key, KeyObserver block) {
    precondition(!key.empty(), "A user-defaults observation needs a key");
    // Reading the value when the block runs, rather than passing the one of the change, means
    // that racing writers can't leave an observer with a stale value last.
    return keyCenter_.addObserver(
        key, nullptr,
        [this, key, block = std::move(block)](const Notification&) { block(objectForKey(key)); });
}

void UserDefaults::announce(const std::vector<std::string>& keysWithNewEffectiveValue) {
    for (const auto& key : keysWithNewEffectiveValue) {
        keyCenter_.post(key, this);
    }
    NotificationCenter::defaultCenter().post(NSUserDefaultsDidChangeNotification, this);
}

}  // namespace platform
