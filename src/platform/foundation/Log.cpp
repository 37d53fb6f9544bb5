#include "platform/foundation/Log.h"

#include <algorithm>
#include <cstdio>

#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

// Worker threads log until the very end of the process, also while exit destroys statics.
std::mutex& sinkMutex() {
    static NeverDestroyed<std::mutex> mutex;
    return mutex.get();
}

std::vector<ScopedLogCapture*>& captures() {
    static NeverDestroyed<std::vector<ScopedLogCapture*>> list;
    return list.get();
}

std::string_view libraryPhrase(FailingLibrary library) {
    switch (library) {
        case FailingLibrary::FFmpeg:
            return "FFmpeg";
        case FailingLibrary::CoreVideo:
            return "Core Video";
        case FailingLibrary::Darwin:
            return "Darwin";
    }
    return "Darwin";
}

}  // namespace

void logLine(std::string_view message) {
    std::lock_guard lock(sinkMutex());
    // One write per line keeps lines whole even when other processes share the stream.
    std::string line(message);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    for (ScopedLogCapture* capture : captures()) {
        capture->append(message);
    }
}

std::string failureLogLine(FailingLibrary library, std::string_view file, std::string_view function,
                           unsigned line, std::string_view errorText) {
    return fmt::format("In {} {}, the {} function at line {} returned an error: {}.", file,
                       function, libraryPhrase(library), line, errorText);
}

void logFailure(FailingLibrary library, std::string_view file, std::string_view function,
                unsigned line, std::string_view errorText) {
    logLine(failureLogLine(library, file, function, line, errorText));
}

ScopedLogCapture::ScopedLogCapture() {
    std::lock_guard lock(sinkMutex());
    captures().push_back(this);
}

ScopedLogCapture::~ScopedLogCapture() {
    std::lock_guard lock(sinkMutex());
    auto& list = captures();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void ScopedLogCapture::append(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

std::vector<std::string> ScopedLogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool ScopedLogCapture::contains(std::string_view fragment) const {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    });
}

}  // namespace platform
