#pragma once

#include <memory>

#include "libraries/interposition/AnyHook.h"
#include "platform/runtime/Object.h"

namespace interposition {

// Attached to an object hook's replacement block, so that the hook that owns an implementation
// can be found from it. It holds the hook weakly and reads empty once the hook is gone. Its
// runtime class is "Interposition.WeakObjectContainer".
class WeakObjectContainer final : public platform::NSObject {
public:
    explicit WeakObjectContainer(const std::shared_ptr<AnyHook>& object);
    WeakObjectContainer() = delete;

    std::shared_ptr<AnyHook> object() const { return object_.lock(); }

    static platform::Class objcClass();

private:
    std::weak_ptr<AnyHook> object_;
};

}  // namespace interposition
