#pragma once

#include <string>

#include "platform/foundation/KeyedUnarchiver.h"

namespace calyxware {

// Refuses the object being decoded: records a read-corrupt error on the coder.
void failCorruptArchive(platform::NSKeyedUnarchiver& coder, std::string description);

// Enters every class of the library in the keyed-archive registry, so that an archive naming a
// subclass (an eager layout manager where a layout manager is asked for) can be decoded.
// Idempotent and thread-safe; every decoding entry point of the library calls it.
void registerCalyxwareCodingClasses();

}  // namespace calyxware
