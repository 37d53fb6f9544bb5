#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "player-interface/common/ErrorAlerts.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using platform::NSAlertStyle;
using platform::NSError;

std::vector<std::string> buttonTitles(const platform::NSAlert& alert) {
    std::vector<std::string> titles;
    for (const QPushButton* button : alert.alertButtons()) {
        titles.push_back(button->text().toStdString());
    }
    return titles;
}

struct LoadErrorCase {
    const char* name;
    MediaSourceLoadError error;
    std::string messageText;
    std::string informativeText;
};

TEST(LoadErrorAlert, ShowsDescriptionAsMessageAndReasonThenSuggestionAsInformativeText) {
    const NSError openFailure(
        "FFmpeg", -2,
        {{platform::NSLocalizedDescriptionKey, std::string("No such file or directory")}});
    const std::vector<LoadErrorCase> cases = {
        {"unsupported scheme", MediaSourceLoadError::unsupportedURLScheme("https"),
         "Unable to load the media.",
         "The URL scheme `https` is currently unsupported. Please submit a feature request."},
        {"open failure",
         MediaSourceLoadError::failedToOpenURL(platform::URL::fileURL("/tmp/missing.mkv"),
                                               openFailure),
         "Unable to open the file.", "No such file or directory"},
        {"no tracks", MediaSourceLoadError::noDecodableTracks({MediaType::video, MediaType::audio}),
         "Unable to load the media.",
         "The media does not contain any decodable video/audio tracks."},
        {"seek failure", MediaSourceLoadError::failedToSeek(openFailure),
         "Unable to seek the media.", "No such file or directory"},
        {"inconsistent reads", MediaSourceLoadError::inconsistentReads(),
         "Unable to load the media.",
         "The file was modified while trying to read it. Please try again."},
        {"no duration", MediaSourceLoadError::failedToReadMediaDuration(),
         "Unable to load the media.", "Failed to find the duration of the media."},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto alert = makeLoadErrorAlert(testCase.error);
        EXPECT_EQ(alert->alertStyle(), NSAlertStyle::critical);
        EXPECT_EQ(alert->icon(), QMessageBox::Critical);
        EXPECT_EQ(alert->messageText(), testCase.messageText);
        EXPECT_EQ(alert->informativeText(), testCase.informativeText);
        EXPECT_EQ(buttonTitles(*alert), std::vector<std::string>{"OK"});
        EXPECT_FALSE(alert->isVisible());
    }
}

// A load error with a description only (as a subclass may answer) leaves no stray space.
class DescriptionOnlyError final : public platform::LocalizedError {
public:
    std::optional<std::string> errorDescription() const override { return "Only a description"; }
    std::string domain() const override { return "Test"; }
    std::int64_t code() const override { return 1; }
    std::shared_ptr<const platform::Error> clone() const override {
        return std::make_shared<DescriptionOnlyError>(*this);
    }
};

TEST(UnknownErrorAlert, InformativeTextCarriesTheErrorDetailsForEveryKindOfError) {
    const std::string prefix = "Please contact support with the following error details:\n\n";
    struct Case {
        const char* name;
        std::shared_ptr<const platform::Error> error;
        std::string details;
    };
    const std::string domainWithProvider = "org.quillon.tests.ProvidedDomain";
    NSError::setUserInfoValueProvider(
        domainWithProvider,
        [](const NSError& error, const std::string& key) -> std::optional<NSError::UserInfoValue> {
            if (key != platform::NSLocalizedDescriptionKey) {
                return std::nullopt;
            }
            return "Provided text for code " + std::to_string(error.code());
        });
    const NSError bare("org.quillon.tests.Bare", 42);
    const std::vector<Case> cases = {
        {"localized error", MediaSourceLoadError::inconsistentReads().clone(),
         "Unable to load the media. The file was modified while trying to read it. Please try "
         "again."},
        {"description only", std::make_shared<DescriptionOnlyError>(), "Only a description"},
        {"user info",
         std::make_shared<NSError>("org.quillon.tests.Other", 7,
                                   NSError::UserInfo{{platform::NSLocalizedDescriptionKey,
                                                      std::string("From the user info")}}),
         "From the user info"},
        {"domain provider", std::make_shared<NSError>(domainWithProvider, 5),
         "Provided text for code 5"},
        {"bare error", bare.clone(), bare.debugDescription()},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto alert = makeUnknownErrorAlert("Something went wrong.", *testCase.error);
        EXPECT_EQ(alert->alertStyle(), NSAlertStyle::warning);
        EXPECT_EQ(alert->messageText(), "Something went wrong.");
        EXPECT_EQ(alert->informativeText(), prefix + testCase.details);
        EXPECT_EQ(buttonTitles(*alert), std::vector<std::string>{"OK"});
    }
    NSError::setUserInfoValueProvider(domainWithProvider, nullptr);
}

// The factories make the class they are asked for, so that callers can specialise the alert.
class TaggedAlert final : public platform::NSAlert {
public:
    int tag = 7;
};

TEST(ErrorAlerts, MakeAlertsOfTheRequestedClass) {
    const auto loadAlert =
        makeLoadErrorAlert<TaggedAlert>(MediaSourceLoadError::failedToReadMediaDuration());
    EXPECT_EQ(loadAlert->tag, 7);
    const auto unknownAlert = makeUnknownErrorAlert<TaggedAlert>("x", NSError("D", 1));
    EXPECT_EQ(unknownAlert->tag, 7);
}

TEST(ErrorAlerts, LoadErrorAlertAsSheetReportsTheButtonAndGoesAway) {
    QWidget window;
    window.show();
    auto alert = makeLoadErrorAlert(MediaSourceLoadError::inconsistentReads());
    QPointer<platform::NSAlert> sheet(alert.get());
    std::vector<platform::NSModalResponse> responses;
    platform::NSAlert::beginSheetModalForWindow(
        std::move(alert), &window,
        [&](platform::NSModalResponse response) { responses.push_back(response); });
    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    sheet->alertButtons().front()->click();
    EXPECT_EQ(responses,
              std::vector<platform::NSModalResponse>{platform::NSAlertFirstButtonReturn});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(sheet.isNull());
}

}  // namespace
}  // namespace quillon
