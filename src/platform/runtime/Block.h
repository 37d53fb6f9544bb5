#pragma once

#include "platform/runtime/Object.h"

namespace platform {

// The object a block implementation is made from: its identity, which objects can be associated
// with (the library finds a hook from its implementation that way). Its class is "NSBlock".
class Block final : public NSObject {
public:
    Block();
    static Class objcClass();
};

}  // namespace platform
