#pragma once

#include <string>
#include <string_view>

#include "platform/runtime/ObjCTypes.h"

namespace platform {

// Selectors are interned: one handle per name for the life of the process, so two selectors are
// equal exactly when their handles are.
SEL sel_registerName(std::string_view name);
const char* sel_getName(SEL selector);
inline bool sel_isEqual(SEL lhs, SEL rhs) {
    return lhs == rhs;
}

SEL NSSelectorFromString(std::string_view name);
std::string NSStringFromSelector(SEL selector);

}  // namespace platform
