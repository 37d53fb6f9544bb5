#pragma once

namespace quillon {

// The number of threads a video decoder context decodes with on a machine of processorCount
// processors: all but two, and at least one, so that audio decoding, rendering and the user
// interface keep a processor each while a demanding stream plays.
int decoderThreadCount(int processorCount);

// decoderThreadCount for this machine, computed once per process.
int decoderThreadCount();

}  // namespace quillon
