#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// An interface archive: a named recipe for a set of top-level objects. There are no archive
// files on this platform; a nib is a function registered under its name in a bundle, which
// builds the objects afresh on every instantiation. Main thread only.
class NSNib {
public:
    using TopLevelObjects = std::vector<std::unique_ptr<QObject>>;
    // Builds the top-level objects; `owner` is the file's owner that outlets may point to (may be
    // null). Returns nullopt when the objects cannot be made.
    using Instantiator = std::function<std::optional<TopLevelObjects>(QObject* owner)>;

    // The bundles a nib can live in; only the application's own exists.
    enum class Bundle { main };

    // Makes the nib `name` of `bundle` available until the returned registration goes (a later
    // registration of the same name hides an earlier one while it lives).
    [[nodiscard]] static std::shared_ptr<void> registerNib(std::string name,
                                                           Instantiator instantiator,
                                                           Bundle bundle = Bundle::main);

    // The nib of that name, or nullopt when the bundle has none.
    static std::optional<NSNib> nibNamed(const std::string& name, Bundle bundle = Bundle::main);

    // Builds the objects into `topLevelObjects`; false when the nib could not be instantiated.
    bool instantiateWithOwner(QObject* owner,
                              std::optional<TopLevelObjects>& topLevelObjects) const;

    const std::string& name() const { return name_; }

private:
    NSNib(std::string name, Instantiator instantiator);

    std::string name_;
    Instantiator instantiator_;
};

}  // namespace platform
