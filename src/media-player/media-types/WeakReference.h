#pragma once

#include <memory>

namespace quillon {

// Refers to an object without keeping it alive; reading yields the live object (now held
// strongly by the reader) or nothing.
template <typename T>
struct WeakReference {
    WeakReference() = default;
    WeakReference(const std::shared_ptr<T>& object) : weak(object) {}  // NOLINT: implicit by design

    std::shared_ptr<T> object() const { return weak.lock(); }
    void setObject(const std::shared_ptr<T>& object) { weak = object; }

    std::weak_ptr<T> weak;
};

}  // namespace quillon
