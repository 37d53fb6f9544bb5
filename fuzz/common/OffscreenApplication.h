// The process-wide set-up the fuzz targets share: FFmpeg kept quiet and a Qt application on the
// offscreen platform, so that no input needs a display.
#pragma once

namespace quillon::fuzzing {

// Makes the application (formatted subtitles look fonts up in Qt's font database, which needs
// one) and waits until the subtitle text style manager's first build has settled. Call once,
// from LLVMFuzzerInitialize; everything it makes lives for the process.
void startOffscreenApplication(const char* programName);

}  // namespace quillon::fuzzing
