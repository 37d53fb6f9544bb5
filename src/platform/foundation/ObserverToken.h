#pragma once

#include <functional>

namespace platform {

// Keeps an observation alive: dropping the token (or calling remove()) ends it. Move-only; a
// moved-from or default token observes nothing.
class [[nodiscard]] ObserverToken {
public:
    ObserverToken() = default;
    explicit ObserverToken(std::function<void()> remover);
    ~ObserverToken();

    ObserverToken(ObserverToken&& other) noexcept;
    ObserverToken& operator=(ObserverToken&& other) noexcept;
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;

    // Ends the observation now; later calls do nothing.
    void remove();
    bool isActive() const { return static_cast<bool>(remover_); }

private:
    std::function<void()> remover_;
};

}  // namespace platform
