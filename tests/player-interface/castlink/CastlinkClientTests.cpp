#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unordered_set>

#include "CastlinkTestSupport.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfoTermination.h"
#include "player-interface/castlink/CastlinkClient.h"
#include "player-interface/castlink/CastlinkManager.h"
#include "player-interface/castlink/UninstallPrivilegedHelperError.h"
#include "support/EventPumping.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using test::FakeCastlinkTool;
using test::PrivateBus;
using test::PublishedTool;
using Kind = CastlinkClient::UninstallError::Kind;

constexpr const char* kDomain = UninstallPrivilegedHelperError::errorDomain;

TEST(PrivilegedHelperVersion, IsIdentifiedAndOrderedByBuildNumberAlone) {
    const PrivilegedHelperVersion a(45, 1, 2, 3);
    const PrivilegedHelperVersion b(45, 9, 9, 9);
    const PrivilegedHelperVersion later(46, 0, 0, 1);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<PrivilegedHelperVersion>{}(a), std::hash<PrivilegedHelperVersion>{}(b));
    EXPECT_FALSE(a.hasSameVersionNumbers(b));
    EXPECT_LT(b, later);
    EXPECT_EQ(std::unordered_set<PrivilegedHelperVersion>({a, b, later}).size(), 2u);
    EXPECT_EQ(a.description(), "1.2.3 (45)");
    EXPECT_EQ(a.versionDescription(), "1.2.3");
}

TEST(PrivilegedHelperVersion, ReadsTheToolsBuildAndVersionStrings) {
    const auto parsed = PrivilegedHelperVersion::fromStrings("45", "1..2.3.");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->description(), "1.2.3 (45)");
    EXPECT_FALSE(PrivilegedHelperVersion::fromStrings("", "1.2.3"));
    EXPECT_FALSE(PrivilegedHelperVersion::fromStrings("4a", "1.2.3"));
    EXPECT_FALSE(PrivilegedHelperVersion::fromStrings("45", "1.2"));
    EXPECT_FALSE(PrivilegedHelperVersion::fromStrings("45", "1.2.3.4"));
    EXPECT_FALSE(PrivilegedHelperVersion::fromStrings("45", "1.x.3"));
}

// A version archive with one of its four keys left out, as an older or broken tool would send.
struct PartialVersion final : platform::SecureCoded<PartialVersion> {
    static constexpr std::string_view className = PrivilegedHelperVersion::className;
    static std::shared_ptr<PartialVersion> initWithCoder(platform::NSKeyedUnarchiver&) {
        return nullptr;
    }
    void encode(platform::NSKeyedArchiver& coder) const override {
        const char* keys[] = {
            PrivilegedHelperVersion::buildNumberKey, PrivilegedHelperVersion::majorVersionKey,
            PrivilegedHelperVersion::minorVersionKey, PrivilegedHelperVersion::patchVersionKey};
        for (int i = 0; i < 4; ++i) {
            if (i != skipped) {
                coder.encodeInt64(1, keys[i]);
            }
        }
    }
    int skipped = 0;
};

TEST(PrivilegedHelperVersion, RoundTripsAndAnArchiveMissingAnyKeyDecodesToNone) {
    const PrivilegedHelperVersion version(7, 2, 0, 1);
    const auto decoded =
        platform::NSKeyedUnarchiver::unarchivedObjectOfClass<PrivilegedHelperVersion>(
            platform::NSKeyedArchiver::archivedData(version));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->description(), "2.0.1 (7)");

    for (int missing = 0; missing < 4; ++missing) {
        PartialVersion partial;
        partial.skipped = missing;
        EXPECT_FALSE(platform::NSKeyedUnarchiver::unarchivedObjectOfClass<PrivilegedHelperVersion>(
            platform::NSKeyedArchiver::archivedData(partial)))
            << "missing key " << missing;
    }
}

TEST(UninstallPrivilegedHelperError, ConvertsOnlyItsOwnDomainAndCodes) {
    for (std::int64_t code = 0; code <= 9; ++code) {
        const auto converted =
            UninstallPrivilegedHelperError::fromError(platform::NSError(kDomain, code));
        ASSERT_TRUE(converted) << code;
        EXPECT_EQ(converted->rawValue(), code);
        const platform::NSError back = converted->toNSError();
        EXPECT_EQ(back.domain(), kDomain);
        EXPECT_EQ(back.code(), code);
        EXPECT_TRUE(back.userInfo().empty());
    }
    EXPECT_FALSE(UninstallPrivilegedHelperError::fromError(platform::NSError(kDomain, 10)));
    EXPECT_FALSE(UninstallPrivilegedHelperError::fromError(platform::NSError(kDomain, -1)));
    EXPECT_FALSE(UninstallPrivilegedHelperError::fromError(platform::NSError("elsewhere", 8)));
}

// A client talking to a fake tool on a bus of the test's own.
class CastlinkClientOverBus : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
        bus_ = std::make_unique<PrivateBus>();
        if (bus_->address().empty()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        client_ = std::make_unique<CastlinkClient>(
            test::connectionFactory([this] { return bus_->qAddress(); }), 5000);
    }

    void publish() {
        published_ = std::make_unique<PublishedTool>(*bus_, tool_);
        ASSERT_TRUE(published_->isRegistered());
    }

    CastlinkClient::UninstallError uninstallError() {
        try {
            client_->uninstallPrivilegedHelper();
        } catch (const CastlinkClient::UninstallError& error) {
            return error;
        }
        ADD_FAILURE() << "the uninstall did not fail";
        return CastlinkClient::UninstallError(Kind::privilegedHelperStillRunning, nullptr);
    }

    std::unique_ptr<PrivateBus> bus_;
    FakeCastlinkTool tool_;
    std::unique_ptr<PublishedTool> published_;
    std::unique_ptr<CastlinkClient> client_;
};

TEST_F(CastlinkClientOverBus, ReportsTheInstalledVersionAndReusesItsConnection) {
    tool_.setVersion(PrivilegedHelperVersion(45, 1, 2, 3));
    publish();
    EXPECT_EQ(client_->privilegedHelperVersion().description(), "1.2.3 (45)");
    EXPECT_EQ(client_->privilegedHelperVersion().buildNumber(), 45);
    EXPECT_EQ(client_->connectionCount(), 1);

    CastlinkManager manager(*client_);
    const auto status = manager.installedPrivilegedHelperVersion();
    ASSERT_TRUE(status.isInstalled());
    EXPECT_EQ(status.version()->buildNumber(), 45);
}

TEST_F(CastlinkClientOverBus, WithoutTheToolOrWithoutAVersionItIsNotInstalled) {
    // Nobody owns the name: the normal state of a machine, so its line is for the full log only.
    EXPECT_THROW(client_->privilegedHelperVersion(), platform::NSError);
    CastlinkManager manager(*client_);
    {
        platform::ScopedLogCapture log;
        EXPECT_FALSE(manager.installedPrivilegedHelperVersion().isInstalled());
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0],
                  "Failed to get installed privileged helper version: Error "
                  "Domain=NSCocoaErrorDomain Code=4099 \"Couldn’t communicate with a helper "
                  "application.\".");
        EXPECT_EQ(log.entries()[0].level, platform::LogLevel::debug);
    }
    // A tool whose answer is no version archive: one is there, and fails.
    tool_.versionReply = QByteArray("not an archive");
    publish();
    EXPECT_THROW(client_->privilegedHelperVersion(), platform::NSError);
    platform::ScopedLogCapture log;
    EXPECT_FALSE(manager.installedPrivilegedHelperVersion().isInstalled());
    EXPECT_EQ(log.levelOf("Failed to get installed privileged helper version: "),
              platform::LogLevel::warning);
}

TEST(CastlinkClient, WithoutASystemBusNoToolIsInstalled) {
    CastlinkClient client([] {
        return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                             QStringLiteral("no-bus"));
    });
    CastlinkManager manager(client);
    platform::ScopedLogCapture log;
    EXPECT_FALSE(manager.installedPrivilegedHelperVersion().isInstalled());
    EXPECT_EQ(log.levelOf("Failed to get installed privileged helper version: "),
              platform::LogLevel::debug);
}

TEST_F(CastlinkClientOverBus, AnUninstallThatRemovesTheToolSucceeds) {
    publish();
    EXPECT_NO_THROW(client_->uninstallPrivilegedHelper());
    // The check whether it still runs found its name gone and never reached it.
    EXPECT_EQ(tool_.recordedCalls(),
              (std::vector<std::string>{castlink::kUninstallPrivilegedHelperMethod}));
}

// The check's failures other than the name having gone: the tool may well still be there.
TEST_F(CastlinkClientOverBus, ACheckThatFailsForAnyOtherReasonIsReportedAsThatFailure) {
    tool_.stillRunsAfterUninstall = true;
    publish();
    const auto expectFailure = [](const CastlinkClient::UninstallError& error,
                                  const std::string& busError) {
        EXPECT_EQ(error.kind(), Kind::serviceFunctionFailed);
        const auto* connectionError =
            dynamic_cast<const platform::NSError*>(error.underlyingError().get());
        ASSERT_NE(connectionError, nullptr);
        const auto reason = connectionError->stringValue(platform::NSDebugDescriptionErrorKey);
        EXPECT_EQ(reason.value_or("").rfind(busError, 0), 0u) << reason.value_or("<none>");
    };

    tool_.runningCheck = FakeCastlinkTool::RunningCheck::error;
    for (const auto& [type, name] : std::vector<std::pair<QDBusError::ErrorType, std::string>>{
             {QDBusError::AccessDenied, "org.freedesktop.DBus.Error.AccessDenied"},
             {QDBusError::InvalidSignature, "org.freedesktop.DBus.Error.InvalidSignature"}}) {
        tool_.runningCheckError = type;
        expectFailure(uninstallError(), name);
    }

    // No answer in time: a client that waits only briefly, so that the test does not.
    tool_.runningCheck = FakeCastlinkTool::RunningCheck::silence;
    client_ = std::make_unique<CastlinkClient>(
        test::connectionFactory([this] { return bus_->qAddress(); }), 200);
    expectFailure(uninstallError(), "org.freedesktop.DBus.Error.NoReply");
}

TEST_F(CastlinkClientOverBus, TheToolsReasonsComeBackAsServiceFunctionFailures) {
    publish();
    for (std::int64_t code = 0; code <= 9; ++code) {
        tool_.uninstallAnswer = {true, kDomain, code, ""};
        const auto error = uninstallError();
        EXPECT_EQ(error.kind(), Kind::serviceFunctionFailed);
        const auto* reason =
            dynamic_cast<const UninstallPrivilegedHelperError*>(error.underlyingError().get());
        ASSERT_NE(reason, nullptr) << code;
        EXPECT_EQ(reason->rawValue(), code);
    }
    EXPECT_EQ(
        dynamic_cast<const UninstallPrivilegedHelperError&>(*uninstallError().underlyingError())
            .errorCode(),
        UninstallPrivilegedHelperError::Code::timedOutWaitingForLaunchdToKillPrivilegedHelper);

    // Codes and domains the application does not know arrive as they came.
    for (const auto& [domain, code] :
         std::vector<std::pair<std::string, std::int64_t>>{{kDomain, 42}, {"elsewhere", 8}}) {
        tool_.uninstallAnswer = {true, domain, code, "It went wrong."};
        const auto error = uninstallError();
        EXPECT_EQ(error.kind(), Kind::serviceFunctionFailed);
        ASSERT_NE(error.underlyingError(), nullptr);
        EXPECT_EQ(
            dynamic_cast<const UninstallPrivilegedHelperError*>(error.underlyingError().get()),
            nullptr);
        EXPECT_EQ(error.underlyingError()->domain(), domain);
        EXPECT_EQ(error.underlyingError()->code(), code);
        EXPECT_EQ(error.underlyingError()->localizedDescription(), "It went wrong.");
    }
}

TEST_F(CastlinkClientOverBus, AToolThatStillAnswersAfterUninstallingIsAFailure) {
    tool_.stillRunsAfterUninstall = true;
    publish();
    const auto error = uninstallError();
    EXPECT_EQ(error.kind(), Kind::privilegedHelperStillRunning);
    EXPECT_EQ(error.underlyingError(), nullptr);
}

TEST_F(CastlinkClientOverBus, TheManagerKeepsSuddenTerminationOffWhileUninstalling) {
    tool_.uninstallAnswer = {true, kDomain, 8, ""};
    publish();
    CastlinkManager manager(*client_);
    platform::ProcessInfoTermination::ScopedCallRecording recording;
    EXPECT_THROW(manager.uninstallPrivilegedHelper(), CastlinkClient::UninstallError);
    using Call = platform::ProcessInfoTermination::Call;
    EXPECT_EQ(recording.calls(), (std::vector<Call>{{Call::Kind::disableSuddenTermination, ""},
                                                    {Call::Kind::enableSuddenTermination, ""}}));
}

TEST_F(CastlinkClientOverBus, AfterTheBusDropsTheConnectionTheNextCallOpensANewOne) {
    tool_.setVersion(PrivilegedHelperVersion(3, 1, 0, 0));
    publish();
    EXPECT_EQ(client_->privilegedHelperVersion().buildNumber(), 3);
    published_.reset();
    bus_ = std::make_unique<PrivateBus>();
    ASSERT_FALSE(bus_->address().empty());
    // A tool object belongs to the thread it served on, which has ended: a new one serves.
    FakeCastlinkTool restarted;
    restarted.setVersion(PrivilegedHelperVersion(3, 1, 0, 0));
    PublishedTool republished(*bus_, restarted);
    ASSERT_TRUE(republished.isRegistered());

    // The first call may still meet the dead connection and fail; one after it must not.
    bool answered = false;
    for (int attempt = 0; attempt < 50 && !answered; ++attempt) {
        try {
            answered = client_->privilegedHelperVersion().buildNumber() == 3;
        } catch (const platform::NSError&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    EXPECT_TRUE(answered);
    EXPECT_EQ(client_->connectionCount(), 2);
}

TEST_F(CastlinkClientOverBus, TheLaunchQueryAnswersLaterOnTheMainQueue) {
    tool_.setVersion(PrivilegedHelperVersion(45, 1, 2, 3));
    publish();
    CastlinkManager manager(*client_);
    std::optional<CastlinkManager::InstallationStatus> answer;
    bool onMainQueue = false;
    manager.requestInstalledPrivilegedHelperVersion(
        [&](const CastlinkManager::InstallationStatus& status) {
            onMainQueue = platform::DispatchQueue::main().isCurrent();
            answer = status;
        });
    EXPECT_FALSE(answer) << "the caller does not wait for the tool";
    ASSERT_TRUE(test::pumpUntil([&] { return answer.has_value(); }));
    EXPECT_TRUE(onMainQueue);
    ASSERT_TRUE(answer->isInstalled());
    EXPECT_EQ(answer->version()->buildNumber(), 45);
    // The time-out that comes after the answer changes nothing.
    manager.queue()->sync([] {});
}

// A listening socket that takes connections and never says a word: a bus daemon that hangs.
class SilentBus {
public:
    SilentBus()
        : path_(std::filesystem::temp_directory_path() /
                ("quillon-silent-bus-" + std::to_string(::getpid()))) {
        std::filesystem::remove(path_);
        socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(socket_, 4) != 0) {
            close();
        }
    }
    ~SilentBus() {
        close();
        std::filesystem::remove(path_);
    }
    // Closing drops the connections waiting in the backlog: their clients stop waiting.
    void close() {
        if (socket_ >= 0) {
            ::close(socket_);
            socket_ = -1;
        }
    }
    bool isListening() const { return socket_ >= 0; }
    QString address() const { return QStringLiteral("unix:path=%1").arg(path_.c_str()); }

private:
    std::filesystem::path path_;
    int socket_ = -1;
};

TEST(CastlinkLaunchQuery, ABusThatNeverAnswersCountsAsNotInstalledOnceTheTimeOutPasses) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
    SilentBus bus;
    ASSERT_TRUE(bus.isListening());
    // The bus's own default time-out is 25 s: only the query's short one can end the wait.
    CastlinkClient client(test::connectionFactory([&] { return bus.address(); }));
    CastlinkManager manager(client);
    platform::ScopedLogCapture log;
    std::optional<CastlinkManager::InstallationStatus> answer;
    int answers = 0;
    manager.requestInstalledPrivilegedHelperVersion(
        [&](const CastlinkManager::InstallationStatus& status) {
            answer = status;
            ++answers;
        },
        std::chrono::milliseconds(200));
    EXPECT_FALSE(answer);
    ASSERT_TRUE(test::pumpUntil([&] { return answer.has_value(); }));
    EXPECT_FALSE(answer->isInstalled());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Failed to get installed privileged helper version: ", 0), 0u);
    EXPECT_NE(log.lines()[0].find("Code=4097"), std::string::npos) << "the tool stopped answering";
    EXPECT_EQ(log.entries()[0].level, platform::LogLevel::warning);

    // Once the bus goes, the query that was still connecting ends; its late failure is neither
    // answered nor logged a second time.
    bus.close();
    manager.queue()->sync([] {});
    platform::DispatchQueue::main().drain();
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(log.lines().size(), 1u);
}

}  // namespace
}  // namespace quillon
