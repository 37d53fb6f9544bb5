#pragma once

namespace calyxware {

// Lets Qt's property animations interpolate colours of the attributed-string model (component
// by component, alpha included). Idempotent.
void registerColorInterpolation();

}  // namespace calyxware
