#include <gtest/gtest.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

using namespace platform;

TEST(Log, FailureLineNamesTheLibraryCallerAndError) {
    EXPECT_EQ(failureLogLine(FailingLibrary::FFmpeg, "/src/Decoder.cpp", "decode", 42,
                             "Invalid data found when processing input"),
              "In /src/Decoder.cpp decode, the FFmpeg function at line 42 returned an error: "
              "Invalid data found when processing input.");
    EXPECT_EQ(failureLogLine(FailingLibrary::CoreVideo, "f", "g", 1, "e"),
              "In f g, the Core Video function at line 1 returned an error: e.");
    EXPECT_EQ(failureLogLine(FailingLibrary::Darwin, "f", "g", 1, "e"),
              "In f g, the Darwin function at line 1 returned an error: e.");
}

TEST(Log, CaptureSeesLinesLoggedDuringItsLife) {
    log("before {}", 1);
    ScopedLogCapture capture;
    log("during {}", 2);
    EXPECT_EQ(capture.lines(), std::vector<std::string>{"during 2"});
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
