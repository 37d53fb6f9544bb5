#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/AtomicFileWriter.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObserverToken.h"

namespace platform {

// Posted on the default centre, with the defaults object as sender, after a stored or
// registered value changed.
inline constexpr const char* NSUserDefaultsDidChangeNotification =
    "NSUserDefaultsDidChangeNotification";

// The user's preferences: values stored in an INI file (through QSettings) over defaults that
// the program registers at launch and never stores. A stored value wins over a registered one.
//
// Values keep their type across a reload: booleans are written as true/false, numbers as
// numbers, and a string that would read back as something else is written as a byte array.
// Thread-safe; reads never wait for the disk. Every change is written through at once, and the
// file is replaced whole or not at all: a change that could not be saved (a full disk, a
// read-only folder) stays in force here and is saved with the next change or synchronize.
class UserDefaults {
public:
    using Value = std::variant<bool, std::int64_t, double, std::string>;
    // Receives the key's effective value at the time the block runs.
    using KeyObserver = std::function<void(const std::optional<Value>& value)>;

    explicit UserDefaults(std::string iniFilePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The user's defaults in the XDG configuration directory.
    static UserDefaults& standard();
    static std::string standardFilePath();

    const std::string& filePath() const { return filePath_; }

    // Merges into the registered defaults.
    void registerDefaults(const std::map<std::string, Value>& defaults);

    std::optional<Value> objectForKey(const std::string& key) const;
    // Numbers are true when non-zero; strings as the platform reads them ("YES", "true", "1").
    bool boolForKey(const std::string& key) const;
    // Doubles are truncated; strings are read up to their first non-digit.
    std::int64_t integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    // Numbers are given as text (true and false as "1" and "0").
    std::optional<std::string> stringForKey(const std::string& key) const;

    void set(bool value, const std::string& key) { setObject(value, key); }
    template <std::integral T>
    requires(!std::same_as<T, bool>) void set(T value, const std::string& key) {
        setObject(static_cast<std::int64_t>(value), key);
    }
    void set(double value, const std::string& key) { setObject(value, key); }
    void set(std::string value, const std::string& key) { setObject(std::move(value), key); }
    void set(const char* value, const std::string& key) { setObject(std::string(value), key); }
    void setObject(Value value, const std::string& key);
    // Forgets the stored value: the registered default, if any, answers again.
    void removeObject(const std::string& key);

    // Saves the changes that could not be saved before, then reloads the file, taking in what
    // other writers changed; returns false when it can't be read.
    bool synchronize();

    // Calls the block after every change of the key's effective value (a change of a stored
    // value hidden by another, or a write of the same value, is none) until the token is dropped.
    ObserverToken observe(const std::string& key, KeyObserver block);

private:
    std::optional<Value> effectiveValueLocked(const std::string& key) const;
    std::map<std::string, Value> readFile(bool& ok) const;
    // With writeMutex_ held: saves the unsaved changes over what the file holds now.
    void saveChanges();
    // Tells the key observers, then everyone, that something changed.
    void announce(const std::vector<std::string>& keysWithNewEffectiveValue);

    const std::string filePath_;
    // Serializes writers and reloads, so that the file and the cache change in the same order.
    std::mutex writeMutex_;
    mutable std::mutex mutex_;
    std::map<std::string, Value> stored_;
    std::map<std::string, Value> registered_;
    // Guarded by writeMutex_: the changes (none: removed) that the file does not hold yet, and
    // what saves them.
    std::map<std::string, std::optional<Value>> unsavedChanges_;
    AtomicFileWriter writer_;
    NotificationCenter keyCenter_;
};

}  // namespace platform
