#pragma once

// Include from exactly one source file of a test program that decodes video with FFmpeg.
//
// libavcodec's frame threads hand a finished picture to the caller through an atomic state
// flag inside the library, which is not built for ThreadSanitizer: when the caller finds the
// picture ready it takes no lock, so ThreadSanitizer sees no order between what a frame thread
// allocated or cleared and the caller's later reads and frees of that memory.
//
// Only the library functions that made those frame-thread writes are named, so a report still
// shows when both of its stacks lie outside them: a picture or side data of ours used after we
// unreferenced it (the other stack ends in av_buffer_unref or av_frame_unref, which stay
// checked), or two threads of ours on one frame. libavcodec's own threading code is stripped of
// names in the distribution's build, so its frames can be matched only by the library; its
// decoding stores are not instrumented, so what that entry covers is its thread bookkeeping.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    // Buffers, side-data entries and pool entries allocated on a frame thread.
    return "race:^av_malloc$\n"
           // The side-data array of a picture, grown on the frame thread that decodes it.
           "race:^av_frame_new_side_data_from_buf$\n"
           // Frame-thread contexts cleared and torn down inside libavcodec (nameless frames).
           "race:libavcodec.so\n";
}
#endif
