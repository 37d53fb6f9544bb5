#include "platform/foundation/Log.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unordered_set>

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

// --- Categories -------------------------------------------------------------------------------

struct CategoryName {
    // The folder of the source tree whose lines the category holds; empty: none (named only).
    std::string_view folder;
    const char* name;
};

constexpr std::array categoryNames{
    CategoryName{"src/platform/", "quillon.platform"},
    CategoryName{"src/media-player/", "quillon.media"},
    CategoryName{"src/player-interface/", "quillon.interface"},
    CategoryName{"src/libraries/", "quillon.libraries"},
    CategoryName{"src/application/", "quillon.application"},
    CategoryName{"tools/", "quillon.tools"},
    CategoryName{{}, "quillon.ffmpeg"},
    // Anything else: tests, benchmarks, fuzz targets.
    CategoryName{{}, "quillon.other"},
};

using Categories = std::array<std::optional<QLoggingCategory>, categoryNames.size()>;

// Warnings and errors are enabled unless a rule says otherwise; debug and info lines only when
// a rule asks for them. Never destroyed: threads log while the process exits.
Categories& categories() {
    static NeverDestroyed<Categories> list;
    static std::once_flag made;
    std::call_once(made, [] {
        for (std::size_t index = 0; index < categoryNames.size(); ++index) {
            list->at(index).emplace(categoryNames[index].name, QtWarningMsg);
        }
    });
    return list.get();
}

// The source file's path inside the tree, whether the compiler was given it relative to the
// tree, relative to a build folder ("../src/...") or absolute.
std::string_view pathInTree(std::string_view file) {
    if (file.starts_with("src/") || file.starts_with("tools/")) {
        return file;
    }
    std::size_t start = std::string_view::npos;
    for (std::string_view root : {std::string_view("/src/"), std::string_view("/tools/")}) {
        const std::size_t found = file.rfind(root);
        if (found != std::string_view::npos && (start == std::string_view::npos || found > start)) {
            start = found;
        }
    }
    return start == std::string_view::npos ? file : file.substr(start + 1);
}

const QLoggingCategory& categoryOf(const LogOrigin& origin) {
    Categories& list = categories();
    const std::string_view path = origin.category.empty() ? pathInTree(origin.file) : "";
    for (std::size_t index = 0; index + 1 < categoryNames.size(); ++index) {
        const CategoryName& entry = categoryNames[index];
        if (origin.category.empty() ? !entry.folder.empty() && path.starts_with(entry.folder)
                                    : origin.category == entry.name) {
            return *list[index];
        }
    }
    return *list.back();
}

bool terminalShows(const QLoggingCategory& category, LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return category.isDebugEnabled();
        case LogLevel::info:
            // Asking for the debug lines asks for the whole trace.
            return category.isInfoEnabled() || category.isDebugEnabled();
        case LogLevel::warning:
            return category.isWarningEnabled();
        case LogLevel::error:
            return category.isCriticalEnabled();
    }
    return true;
}

// --- Terminal ---------------------------------------------------------------------------------

// The warnings and errors already written (by hash), each written only once. Past the limit,
// lines are written without being remembered.
constexpr std::size_t rememberedTerminalLineLimit = 1 << 16;

std::unordered_set<std::size_t>& writtenTerminalLines() {
    static NeverDestroyed<std::unordered_set<std::size_t>> lines;
    return lines.get();
}

void writeToTerminal(LogLevel level, std::string_view message) {
    if (level == LogLevel::warning || level == LogLevel::error) {
        auto& written = writtenTerminalLines();
        const std::size_t hash = std::hash<std::string_view>{}(message);
        if (written.contains(hash)) {
            return;
        }
        if (written.size() < rememberedTerminalLineLimit) {
            written.insert(hash);
        }
    }
    // One write per line keeps lines whole even when other processes share the stream.
    std::string line(message);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// --- Journal ----------------------------------------------------------------------------------

constexpr const char* sessionJournalSocket = "/run/systemd/journal/socket";

struct Journal {
    bool decided = false;
    std::string path;
    int socket = -1;
    // Whether standard error already goes to this journal (a service or a desktop session that
    // collects its programs' output): the terminal is then left out, as every line is sent here
    // with its priority.
    bool standardErrorIsJournal = false;
};

Journal& journal() {
    static NeverDestroyed<Journal> state;
    return state.get();
}

// JOURNAL_STREAM names the device and inode of the stream that the journal reads.
bool standardErrorIsJournalStream() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) {
        return false;
    }
    struct stat status {};
    return ::fstat(STDERR_FILENO, &status) == 0 && status.st_dev == device &&
           status.st_ino == inode;
}

void openJournal(Journal& state, std::string path) {
    if (state.socket >= 0) {
        ::close(state.socket);
        state.socket = -1;
    }
    state.decided = true;
    state.path = std::move(path);
    state.standardErrorIsJournal = false;
    if (state.path.empty() || state.path.size() >= sizeof(sockaddr_un::sun_path)) {
        state.path.clear();
        return;
    }
    struct stat status {};
    if (::stat(state.path.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) {
        state.path.clear();
        return;
    }
    state.socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (state.socket < 0) {
        state.path.clear();
    }
}

Journal& journalInUse() {
    Journal& state = journal();
    if (!state.decided) {
        openJournal(state, sessionJournalSocket);
        state.standardErrorIsJournal = state.socket >= 0 && standardErrorIsJournalStream();
    }
    return state;
}

int journalPriority(LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return 7;
        case LogLevel::info:
            return 6;
        case LogLevel::warning:
            return 4;
        case LogLevel::error:
            return 3;
    }
    return 6;
}

// One field of a journal entry: "NAME=value\n", or, for a value that holds a line break, the
// name, a line break, the value's length as 64-bit little endian, the value and a line break.
void appendJournalField(std::string& entry, std::string_view name, std::string_view value) {
    entry.append(name);
    if (value.find('\n') == std::string_view::npos) {
        entry.push_back('=');
        entry.append(value);
    } else {
        entry.push_back('\n');
        std::uint64_t length = value.size();
        for (int byte = 0; byte < 8; ++byte) {
            entry.push_back(static_cast<char>(length & 0xff));
            length >>= 8;
        }
        entry.append(value);
    }
    entry.push_back('\n');
}

void sendToJournal(Journal& state, LogLevel level, std::string_view message,
                   const LogOrigin& origin, const QLoggingCategory& category) {
    std::string entry;
    entry.reserve(message.size() + 256);
    appendJournalField(entry, "MESSAGE", message);
    appendJournalField(entry, "PRIORITY", std::to_string(journalPriority(level)));
    appendJournalField(entry, "SYSLOG_IDENTIFIER", program_invocation_short_name);
    appendJournalField(entry, "QT_CATEGORY", category.categoryName());
    if (!origin.file.empty()) {
        appendJournalField(entry, "CODE_FILE", pathInTree(origin.file));
        appendJournalField(entry, "CODE_LINE", std::to_string(origin.line));
    }
    if (!origin.function.empty()) {
        appendJournalField(entry, "CODE_FUNC", origin.function);
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, state.path.data(), state.path.size());
    // A journal that is slow or gone loses the line rather than hold up the caller.
    ::sendto(state.socket, entry.data(), entry.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&address), sizeof(address));
}

}  // namespace

std::string_view logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return "debug";
        case LogLevel::info:
            return "info";
        case LogLevel::warning:
            return "warning";
        case LogLevel::error:
            return "error";
    }
    return "info";
}

void logLine(LogLevel level, std::string_view message, const LogOrigin& origin) {
    const QLoggingCategory& category = categoryOf(origin);
    std::lock_guard lock(sinkMutex());
    Journal& journal = journalInUse();
    if (journal.socket >= 0) {
        sendToJournal(journal, level, message, origin, category);
    }
    if (!journal.standardErrorIsJournal && terminalShows(category, level)) {
        writeToTerminal(level, message);
    }
    for (ScopedLogCapture* capture : captures()) {
        capture->append(level, message);
    }
}

void logLine(LogLevel level, std::string_view message, std::source_location location) {
    logLine(level, message,
            LogOrigin{location.file_name(), location.line(), location.function_name()});
}

std::string failureLogLine(FailingLibrary library, std::string_view file, std::string_view function,
                           unsigned line, std::string_view errorText, std::string_view subject) {
    const std::string about = subject.empty() ? "" : fmt::format(" for “{}”", subject);
    return fmt::format("In {} {}, the {} function at line {} returned an error{}: {}.",
                       pathInTree(file), function, libraryPhrase(library), line, about, errorText);
}

void logFailure(FailingLibrary library, std::string_view file, std::string_view function,
                unsigned line, std::string_view errorText, LogLevel level,
                std::string_view subject) {
    logLine(level, failureLogLine(library, file, function, line, errorText, subject),
            LogOrigin{file, line, function});
}

void useJournalSocket(std::string path) {
    std::lock_guard lock(sinkMutex());
    openJournal(journal(), std::move(path));
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

void ScopedLogCapture::append(LogLevel level, std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.push_back({level, std::string(line)});
}

std::vector<std::string> ScopedLogCapture::lines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    texts.reserve(lines_.size());
    for (const Line& line : lines_) {
        texts.push_back(line.text);
    }
    return texts;
}

std::vector<ScopedLogCapture::Line> ScopedLogCapture::entries() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool ScopedLogCapture::contains(std::string_view fragment) const {
    return levelOf(fragment).has_value();
}

std::optional<LogLevel> ScopedLogCapture::levelOf(std::string_view fragment) const {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(lines_.begin(), lines_.end(), [&](const Line& line) {
        return line.text.find(fragment) != std::string::npos;
    });
    if (found == lines_.end()) {
        return std::nullopt;
    }
    return found->level;
}

}  // namespace platform
