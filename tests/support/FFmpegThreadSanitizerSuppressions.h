#pragma once

// Include from exactly one source file of a test program that decodes with FFmpeg.
// libavcodec's frame threads and libdav1d's worker threads hand pictures over through atomics
// inside the uninstrumented libraries, so ThreadSanitizer cannot see that synchronisation and
// reports every buffer that crosses threads there. Races whose stacks lie inside the decoders'
// libraries are left to their own testing.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:libavcodec.so\n"
           "race:libavutil.so\n"
           "race:libdav1d.so\n";
}
#endif
