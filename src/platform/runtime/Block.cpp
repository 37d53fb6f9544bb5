#include "platform/runtime/Block.h"

namespace platform {

Block::Block() : NSObject(objcClass()) {}

}  // namespace platform
