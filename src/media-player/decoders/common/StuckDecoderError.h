#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"

namespace quillon {

// A decoder refused a packet twice although it had nothing to give out in between: it takes no
// input and never will. Its description is "Unable to start decoding packet even though there
// are no more sample buffers to dequeue.".
class StuckDecoderError final : public platform::Error {
public:
    static constexpr const char* errorDomain = "QuillonPlayer.StuckDecoderError";

    std::string domain() const override { return errorDomain; }
    std::int64_t code() const override { return 0; }
    std::shared_ptr<const platform::Error> clone() const override;
    std::string debugDescription() const override;
};

}  // namespace quillon
