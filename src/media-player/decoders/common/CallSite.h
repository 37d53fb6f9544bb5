#pragma once

#include <source_location>
#include <string_view>

namespace quillon {

// Where a checked library call was made, for its failure log line. The function name is the
// caller's own spelling (with its argument labels, "makeDecoderContext(for:with:streamTimeBase:)"),
// so it is always passed explicitly; file and line default to the place where the CallSite is
// made, which is the argument list of the checked call when a string literal is passed there.
struct CallSite {
    CallSite(const char* function, std::source_location location = std::source_location::current())
        : file(location.file_name()), function(function), line(location.line()) {}
    CallSite(std::string_view function,
             std::source_location location = std::source_location::current())
        : file(location.file_name()), function(function), line(location.line()) {}
    CallSite(std::string_view file, unsigned line, std::string_view function)
        : file(file), function(function), line(line) {}

    // The same site, its failure line naming what the call worked on (a media file's path),
    // so that the same failure of two files makes two lines. The text must outlive the site.
    CallSite about(std::string_view what) const {
        CallSite site = *this;
        site.subject = what;
        return site;
    }

    std::string_view file;
    std::string_view function;
    unsigned line;
    // Empty when the line names nothing.
    std::string_view subject;
};

}  // namespace quillon
