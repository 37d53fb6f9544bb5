#pragma once

#include <string>

namespace platform {

// The application's name as its windows show it (the bundle's display name), set once by the
// program before any window exists; empty until then. Kept apart from Qt's own display name:
// the window system's plugin appends that one to every window title.
const std::string& mainBundleDisplayName();
void setMainBundleDisplayName(std::string name);

}  // namespace platform
