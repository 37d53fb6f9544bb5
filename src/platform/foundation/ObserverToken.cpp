#include "platform/foundation/ObserverToken.h"

#include <utility>

namespace platform {

ObserverToken::ObserverToken(std::function<void()> remover) : remover_(std::move(remover)) {}

ObserverToken::~ObserverToken() {
    remove();
}

ObserverToken::ObserverToken(ObserverToken&& other) noexcept
    : remover_(std::exchange(other.remover_, nullptr)) {}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept {
    if (this != &other) {
        remove();
        remover_ = std::exchange(other.remover_, nullptr);
    }
    return *this;
}

void ObserverToken::remove() {
    // Cleared before the call so that a remover that re-enters this token finds nothing to do.
    if (auto remover = std::exchange(remover_, nullptr)) {
        remover();
    }
}

}  // namespace platform
