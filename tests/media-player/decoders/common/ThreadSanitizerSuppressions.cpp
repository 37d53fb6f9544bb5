// libavcodec's frame threads hand frames over through atomics inside the uninstrumented FFmpeg
// libraries, so ThreadSanitizer cannot see that synchronisation and reports every buffer that
// crosses threads there. Races whose stacks lie inside FFmpeg are left to FFmpeg's own testing.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "race:libavcodec.so\n"
           "race:libavutil.so\n";
}
#endif
