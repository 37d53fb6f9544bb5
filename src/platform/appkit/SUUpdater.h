#pragma once

namespace platform {

class UserDefaults;

// The software updater of the application. This platform installs the player through its
// package manager, which also updates it, so nothing here ever checks for or installs an
// update: `canCheckForUpdates` is false. The automatic-check preference is still kept, in the
// user defaults, so that the preferences show what the user chose.
class SUUpdater {
public:
    static constexpr const char* automaticallyChecksForUpdatesKey =
        "SUUpdaterAutomaticallyChecksForUpdates";

    // The application's updater, over the standard user defaults.
    static SUUpdater& sharedUpdater();

    // An updater over given defaults (tests).
    explicit SUUpdater(UserDefaults& userDefaults) : userDefaults_(userDefaults) {}
    SUUpdater(const SUUpdater&) = delete;
    SUUpdater& operator=(const SUUpdater&) = delete;

    bool canCheckForUpdates() const { return false; }

    // False until the user turns it on.
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool checks);

private:
    UserDefaults& userDefaults_;
};

}  // namespace platform
