// libFuzzer entry point for the ASS splitter; see fuzz/README.md for how to build
// and run it.
//
// An input is a script header, optionally followed by a NUL byte and event text. The header is
// split as a decoder's subtitle header; the event text (or, without a NUL, the header itself) is
// split as "Dialogue:" lines in the header's context, and each of its lines as an event in the
// decoded-event shape. Every event text then goes through the override-code tokenizer with
// callbacks that read everything they are given, so that the sanitizers see any read past a
// buffer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "media-player/decoders/subtitles/ASSOverrideCodes.h"
#include "media-player/decoders/subtitles/ASSSplit.h"

namespace {

using namespace quillon;

volatile std::uint32_t sink;

void touch(const char* text) {
    if (text) {
        for (const char* c = text; *c; ++c) {
            sink = sink + static_cast<unsigned char>(*c);
        }
    }
}

ASSOverrideCallbacks touchingCallbacks() {
    ASSOverrideCallbacks callbacks;
    callbacks.text = [](void*, const char* characters, std::int32_t length) {
        for (std::int32_t i = 0; i < length; ++i) {
            sink = sink + static_cast<unsigned char>(characters[i]);
        }
    };
    callbacks.newLine = [](void*, std::int32_t forced) { sink = sink + forced; };
    callbacks.style = [](void*, char letter, std::int32_t close) { sink = sink + letter + close; };
    callbacks.color = [](void*, std::uint32_t colour, std::uint32_t index) {
        sink = sink + colour + index;
    };
    callbacks.alpha = [](void*, std::int32_t alpha, std::int32_t index) {
        sink = sink + static_cast<std::uint32_t>(alpha + index);
    };
    callbacks.fontName = [](void*, const char* name) { touch(name); };
    callbacks.fontSize = [](void*, std::int32_t size) { sink = sink + size; };
    callbacks.alignment = [](void*, std::int32_t alignment) { sink = sink + alignment; };
    callbacks.cancelOverrides = [](void*, const char* name) { touch(name); };
    callbacks.move = [](void*, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                        std::int32_t t1, std::int32_t t2) {
        sink = sink + static_cast<std::uint32_t>(x1) + static_cast<std::uint32_t>(y1) +
               static_cast<std::uint32_t>(x2) + static_cast<std::uint32_t>(y2) +
               static_cast<std::uint32_t>(t1) + static_cast<std::uint32_t>(t2);
    };
    callbacks.origin = [](void*, std::int32_t x, std::int32_t y) {
        sink = sink + static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(y);
    };
    callbacks.end = [](void*) { sink = sink + 1; };
    return callbacks;
}

void touchDialog(const ASSDialog& dialog, const ASSOverrideCallbacks& callbacks) {
    touch(dialog.Style);
    touch(dialog.Name);
    touch(dialog.Effect);
    touch(dialog.Text);
    assSplitOverrideCodes(callbacks, nullptr, dialog.Text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The splitter takes NUL-terminated text, as FFmpeg hands it over; copies put the NUL at
    // the exact end, so that a read past it is a read past the buffer.
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t separator = input.find('\0');
    std::string header(input.substr(0, separator));
    std::string events(separator == std::string_view::npos ? input : input.substr(separator + 1));
    events = events.substr(0, events.find('\0'));

    ASSOverrideCallbacks callbacks = touchingCallbacks();
    ASSSplitContextPointer context = assSplit(header.c_str());
    if (!context) {
        return 0;
    }
    std::int32_t styleCount = 0;
    ASSStyle* styles = assSplitStyles(context.get(), &styleCount);
    for (std::int32_t i = 0; i < styleCount; ++i) {
        touch(styles[i].Name);
        touch(styles[i].Fontname);
        ASSStyle* found = assStyleGet(context.get(), styles[i].Name);
        sink = sink + (found ? static_cast<std::uint32_t>(found->Alignment) : 0u);
    }
    assStyleGet(context.get(), nullptr);
    touch(assSplitScript(context.get())->info.ScriptType);
    touch(assSplitScript(context.get())->info.Collisions);

    std::int32_t count = 0;
    ASSDialog* dialogs = assSplitDialog(context.get(), events.c_str(), 0, &count);
    for (std::int32_t i = 0; dialogs && i < count; ++i) {
        touchDialog(dialogs[i], callbacks);
    }
    // A second call frees the first call's events.
    dialogs = assSplitDialog(context.get(), events.c_str(), 0, &count);
    for (std::int32_t i = 0; dialogs && i < count; ++i) {
        touchDialog(dialogs[i], callbacks);
    }

    std::size_t begin = 0;
    while (begin <= events.size()) {
        std::size_t end = events.find('\n', begin);
        if (end == std::string::npos) {
            end = events.size();
        }
        std::string line = events.substr(begin, end - begin);
        if (ASSDialogPointer dialog = assSplitDialogFields(line.c_str())) {
            touchDialog(*dialog, callbacks);
        }
        begin = end + 1;
    }
    assSplitOverrideCodes(callbacks, nullptr, events.c_str());
    return 0;
}
