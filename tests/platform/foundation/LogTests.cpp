#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

using namespace platform;

TEST(Log, FailureLineNamesTheLibraryCallerAndError) {
    EXPECT_EQ(failureLogLine(FailingLibrary::FFmpeg, "src/Decoder.cpp", "decode", 42,
                             "Invalid data found when processing input"),
              "In src/Decoder.cpp decode, the FFmpeg function at line 42 returned an error: "
              "Invalid data found when processing input.");
    EXPECT_EQ(failureLogLine(FailingLibrary::CoreVideo, "f", "g", 1, "e"),
              "In f g, the Core Video function at line 1 returned an error: e.");
    EXPECT_EQ(failureLogLine(FailingLibrary::Darwin, "f", "g", 1, "e"),
              "In f g, the Darwin function at line 1 returned an error: e.");
    // What the call worked on, where the caller names it.
    EXPECT_EQ(failureLogLine(FailingLibrary::FFmpeg, "src/Open.cpp", "open(_:)", 7, "Illegal seek",
                             "/home/user/Videos/feed.ts"),
              "In src/Open.cpp open(_:), the FFmpeg function at line 7 returned an error for "
              "“/home/user/Videos/feed.ts”: Illegal seek.");
}

TEST(Log, FailureLinesNameTheSourceFileInsideTheTree) {
    // However the compiler was handed the file: by its path on the build machine, or relative
    // to a build folder inside the tree.
    for (const char* file : {"/home/builder/quillon/src/media-player/media-source/Reading.cpp",
                             "../src/media-player/media-source/Reading.cpp",
                             "src/media-player/media-source/Reading.cpp"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(failureLogLine(FailingLibrary::FFmpeg, file, "seek(_:to:)", 50, "e"),
                  "In src/media-player/media-source/Reading.cpp seek(_:to:), the FFmpeg "
                  "function at line 50 returned an error: e.");
    }
}

TEST(Log, CaptureSeesLinesLoggedDuringItsLifeWhateverTheirLevel) {
    logWarning("before {}", 1);
    ScopedLogCapture capture;
    logDebug("during {}", 2);
    logInfo("during {}", 3);
    logWarning("during {}", 4);
    logError("during {}", 5);
    logLine(LogLevel::debug, "during 6");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"during 2", "during 3", "during 4",
                                                         "during 5", "during 6"}));
    EXPECT_EQ(capture.levelOf("during 2"), LogLevel::debug);
    EXPECT_EQ(capture.levelOf("during 3"), LogLevel::info);
    EXPECT_EQ(capture.levelOf("during 4"), LogLevel::warning);
    EXPECT_EQ(capture.levelOf("during 5"), LogLevel::error);
    EXPECT_EQ(capture.levelOf("before"), std::nullopt);
}

namespace {

// What the log writes to standard error while it lives.
class TerminalCapture {
public:
    TerminalCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~TerminalCapture() {
        restore();
        std::fclose(file_);
    }
    TerminalCapture(const TerminalCapture&) = delete;
    TerminalCapture& operator=(const TerminalCapture&) = delete;

    std::string text() {
        restore();
        std::string text;
        std::rewind(file_);
        std::array<char, 4096> buffer{};
        while (const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), file_)) {
            text.append(buffer.data(), read);
        }
        return text;
    }

private:
    void restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }

    std::FILE* file_;
    int saved_ = -1;
};

// Qt's logging rules for the test's life, as QT_LOGGING_RULES would give them.
class ScopedLoggingRules {
public:
    explicit ScopedLoggingRules(const char* rules) {
        QLoggingCategory::setFilterRules(QString::fromLatin1(rules));
    }
    ~ScopedLoggingRules() { QLoggingCategory::setFilterRules(QString()); }
};

// A line unique to this run, so that lines written by earlier tests do not count as repeats.
std::string uniqueLine(const char* text) {
    static int counter = 0;
    return fmt::format("{} ({}-{})", text, ::getpid(), ++counter);
}

}  // namespace

TEST(Log, TheTerminalShowsWarningsAndErrorsOnceEachAndNoTrace) {
    const std::string debug = uniqueLine("Setting the rate");
    const std::string info = uniqueLine("Flushed the renderer");
    const std::string warning = uniqueLine("The sound server went away");
    const std::string error = uniqueLine("Failed to store the windows");
    ScopedLogCapture capture;
    TerminalCapture terminal;
    for (int time = 0; time < 3; ++time) {
        logLine(LogLevel::debug, debug);
        logLine(LogLevel::info, info);
        logLine(LogLevel::warning, warning);
        logLine(LogLevel::error, error);
    }
    EXPECT_EQ(terminal.text(), warning + "\n" + error + "\n");
    // Everything still reaches the capture, every time.
    EXPECT_EQ(capture.lines().size(), 12u);
}

TEST(Log, TheDebugRuleOfQtsLoggingRulesShowsTheWholeTrace) {
    const std::string debug = uniqueLine("Setting the rate");
    const std::string info = uniqueLine("Flushed the renderer");
    const std::string warning = uniqueLine("The sound server went away");
    const ScopedLoggingRules rules("quillon.*.debug=true");
    TerminalCapture terminal;
    for (int time = 0; time < 2; ++time) {
        logLine(LogLevel::debug, debug);
        logLine(LogLevel::info, info);
        logLine(LogLevel::warning, warning);
    }
    EXPECT_EQ(terminal.text(),
              debug + "\n" + info + "\n" + warning + "\n" + debug + "\n" + info + "\n");
}

TEST(Log, EachPartOfTheTreeHasACategoryOfItsOwn) {
    const std::string media = uniqueLine("from the media player");
    const std::string platform = uniqueLine("from the platform");
    const std::string elsewhere = uniqueLine("from elsewhere");
    const ScopedLoggingRules rules("quillon.media.debug=true");
    TerminalCapture terminal;
    logLine(LogLevel::debug, media, LogOrigin{"../src/media-player/MediaPlayer.cpp", 1, "f"});
    logLine(LogLevel::debug, platform, LogOrigin{"src/platform/appkit/NSWindow.cpp", 1, "f"});
    logLine(LogLevel::debug, elsewhere);
    EXPECT_EQ(terminal.text(), media + "\n");
}

namespace {

// A journal of the test's own: a datagram socket that the log sends its entries to.
class FakeJournal {
public:
    FakeJournal() {
        path_ = folder_ / "socket";
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        useJournalSocket(path_.string());
    }
    ~FakeJournal() {
        useJournalSocket({});
        ::close(socket_);
        std::filesystem::remove_all(folder_);
    }
    FakeJournal(const FakeJournal&) = delete;
    FakeJournal& operator=(const FakeJournal&) = delete;

    // The next entry's fields, decoded from the native journal protocol; empty when none came.
    std::map<std::string, std::string> nextEntry() {
        std::array<char, 65536> buffer{};
        const ssize_t size = ::recv(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        std::map<std::string, std::string> fields;
        std::string_view rest(buffer.data(), size > 0 ? static_cast<std::size_t>(size) : 0);
        while (!rest.empty()) {
            const std::size_t end = rest.find_first_of("=\n");
            if (end == std::string_view::npos) {
                ADD_FAILURE() << "a field without its end";
                break;
            }
            const std::string name(rest.substr(0, end));
            if (rest[end] == '=') {
                const std::size_t lineEnd = rest.find('\n', end);
                fields[name] = std::string(rest.substr(end + 1, lineEnd - end - 1));
                rest.remove_prefix(lineEnd + 1);
            } else {
                std::uint64_t length = 0;
                for (int byte = 7; byte >= 0; --byte) {
                    length = (length << 8) | static_cast<unsigned char>(rest[end + 1 + byte]);
                }
                fields[name] = std::string(rest.substr(end + 9, length));
                rest.remove_prefix(end + 9 + length + 1);
            }
        }
        return fields;
    }

private:
    std::filesystem::path folder_ = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillon-journal-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    std::filesystem::path path_;
    int socket_ = -1;
};

}  // namespace

TEST(Log, EveryLineReachesTheJournalWithItsPriority) {
    FakeJournal journal;
    // Debug lines too, though the terminal does not show them; a line seen before as well.
    logLine(LogLevel::debug, "Setting synchronizer rate to 1.",
            LogOrigin{"src/media-player/MediaPlayerPlayback.cpp", 39, "setSynchronizerRate"});
    auto entry = journal.nextEntry();
    EXPECT_EQ(entry["MESSAGE"], "Setting synchronizer rate to 1.");
    EXPECT_EQ(entry["PRIORITY"], "7");
    EXPECT_EQ(entry["QT_CATEGORY"], "quillon.media");
    EXPECT_EQ(entry["CODE_FILE"], "src/media-player/MediaPlayerPlayback.cpp");
    EXPECT_EQ(entry["CODE_LINE"], "39");
    EXPECT_FALSE(entry["SYSLOG_IDENTIFIER"].empty());

    const std::pair<LogLevel, const char*> priorities[] = {
        {LogLevel::info, "6"}, {LogLevel::warning, "4"}, {LogLevel::error, "3"}};
    for (const auto& [level, priority] : priorities) {
        for (int time = 0; time < 2; ++time) {
            logLine(level, "The same line");
            entry = journal.nextEntry();
            EXPECT_EQ(entry["MESSAGE"], "The same line");
            EXPECT_EQ(entry["PRIORITY"], priority);
        }
    }

    // A message that spans lines goes whole, in the protocol's counted form.
    logLine(LogLevel::warning, "the shaders did not build:\nline 1: error");
    EXPECT_EQ(journal.nextEntry()["MESSAGE"], "the shaders did not build:\nline 1: error");
}

TEST(Log, WithoutAJournalTheTerminalStillShowsWhatAUserMayActOn) {
    { FakeJournal journal; }
    // The journal's socket is gone: nothing is sent, nothing fails, and the terminal still shows
    // the warning, once, while the trace stays out of it.
    useJournalSocket("/nonexistent/journal/socket");
    const std::string debug = uniqueLine("Setting the rate");
    const std::string warning = uniqueLine("The sound server went away");
    std::string shown;
    {
        TerminalCapture terminal;
        logLine(LogLevel::debug, debug);
        logLine(LogLevel::warning, warning);
        logLine(LogLevel::warning, warning);
        shown = terminal.text();
    }
    useJournalSocket({});
    EXPECT_EQ(shown, warning + "\n");
}

namespace {

// What `command` prints on standard output.
std::string outputOf(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        while (const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
            output.append(buffer.data(), read);
        }
        ::pclose(pipe);
    }
    return output;
}

}  // namespace

// What a user reads with journalctl, from the journal the session really has.
TEST(Log, TheSessionsJournalKeepsTraceLinesWithTheirPriorityForJournalctl) {
    constexpr const char* socket = "/run/systemd/journal/socket";
    if (!std::filesystem::is_socket(socket)) {
        GTEST_SKIP() << "this machine has no journal (" << socket << " is missing)";
    }
    if (std::system("journalctl --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "journalctl is missing";
    }
    useJournalSocket(socket);
    const std::string line = uniqueLine("Setting synchronizer rate to 1.");
    logLine(LogLevel::debug, line,
            LogOrigin{"src/media-player/MediaPlayerPlayback.cpp", 39, "setSynchronizerRate"});
    useJournalSocket({});

    // The journal files the entry in its own time.
    const std::string query = "journalctl --no-pager -o export 'MESSAGE=" + line + "' 2>/dev/null";
    std::string entry;
    for (int attempt = 0; attempt < 300 && entry.empty(); ++attempt) {
        entry = outputOf(query);
        if (entry.empty()) {
            ::usleep(100'000);
        }
    }
    ASSERT_FALSE(entry.empty()) << "journalctl never showed the line (may this user read the "
                                   "journal? members of systemd-journal may)";
    // One field a line, as journalctl exports them.
    EXPECT_NE(entry.find("\nPRIORITY=7\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nQT_CATEGORY=quillon.media\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nCODE_FILE=src/media-player/MediaPlayerPlayback.cpp\n"),
              std::string::npos)
        << entry;
}

TEST(Error, NSErrorDescriptionFallsBackToProviderThenGenericText) {
    NSError plain("org.example.Test", 7);
    EXPECT_EQ(plain.localizedDescription(),
              "The operation couldn’t be completed. (org.example.Test error 7.)");

    NSError::setUserInfoValueProvider(
        "org.example.Provided",
        [](const NSError& error, const std::string& key) -> std::optional<NSError::UserInfoValue> {
            if (key == NSLocalizedDescriptionKey) {
                return std::string("provided ") + std::to_string(error.code());
            }
            return std::nullopt;
        });
    EXPECT_EQ(NSError("org.example.Provided", 3).localizedDescription(), "provided 3");
    NSError::setUserInfoValueProvider("org.example.Provided", nullptr);

    NSError described("d", 1, {{NSLocalizedDescriptionKey, std::string("stored")}});
    EXPECT_STREQ(described.what(), "stored");
}

TEST(Error, CurrentErrorKeepsOurErrorsAndWrapsForeignOnes) {
    try {
        throw NSError::posix(2, "/nowhere");
    } catch (...) {
        auto error = currentError();
        EXPECT_EQ(error->domain(), NSPOSIXErrorDomain);
        EXPECT_EQ(error->code(), 2);
    }
    try {
        throw std::runtime_error("boom");
    } catch (...) {
        EXPECT_EQ(currentError()->localizedDescription(), "boom");
    }
}
