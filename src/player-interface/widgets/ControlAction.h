#pragma once

#include <functional>
#include <memory>

namespace quillon {

// A control's target and action: the action is a member function of the target, which the
// control holds weakly; it is sent only while both are set and the target is alive.
template <typename Sender>
class ControlAction {
public:
    template <typename Target>
    void set(const std::shared_ptr<Target>& target, void (Target::*action)(Sender& sender)) {
        std::weak_ptr<Target> weakTarget = target;
        send_ = [weakTarget, action](Sender& sender) {
            const auto strongTarget = weakTarget.lock();
            if (!strongTarget) {
                return false;
            }
            ((*strongTarget).*action)(sender);
            return true;
        };
    }
    void clear() { send_ = nullptr; }
    bool isSet() const { return static_cast<bool>(send_); }

    // True when the action reached a target.
    bool send(Sender& sender) const { return send_ ? send_(sender) : false; }

private:
    std::function<bool(Sender&)> send_;
};

}  // namespace quillon
