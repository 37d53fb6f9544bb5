#include <gtest/gtest.h>

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDialog>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "application/SessionInstance.h"
#include "support/EventPumping.h"
#include "support/PrivateBus.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {
namespace {

using namespace std::chrono_literals;
using Role = SessionInstance::Role;

// Swallows every call: an owner of the name that never answers.
class SilentObject final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

class SessionInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(bus.address().empty()) << "dbus-daemon did not start"; }
    void TearDown() override {
        for (const auto& name : connectionNames) {
            QDBusConnection::disconnectFromBus(name);
        }
    }

    QDBusConnection connect(const QString& name) {
        connectionNames.push_back(name);
        return QDBusConnection::connectToBus(bus.qAddress(), name);
    }

    // A later launch in a thread of its own: its blocking call must leave the main thread free
    // to answer it. The main thread pumps until the launch has its answer.
    Role launch(const std::vector<platform::URL>& urls,
                std::chrono::milliseconds timeout = SessionInstance::kDefaultReplyTimeout,
                const QVariantMap& platformData = {}) {
        std::atomic<bool> done = false;
        Role role = Role::alone;
        const QString name = QStringLiteral("launch-%1").arg(launches++);
        const QString address = bus.qAddress();
        std::thread thread([&] {
            {
                SessionInstance instance(QDBusConnection::connectToBus(address, name), timeout);
                role = instance.claim(urls, platformData);
            }
            QDBusConnection::disconnectFromBus(name);
            done = true;
        });
        const bool answered = pumpUntil([&] { return done.load(); });
        thread.join();
        EXPECT_TRUE(answered);
        return role;
    }

    PrivateBus bus;
    std::vector<QString> connectionNames;
    int launches = 0;
};

TEST_F(SessionInstanceTest, TheFirstInstanceServesAndLaterLaunchesHandTheirFilesOver) {
    SessionInstance primary(connect(QStringLiteral("primary")));
    ASSERT_EQ(primary.claim({}), Role::primary);
    std::vector<std::vector<platform::URL>> opened;
    int activations = 0;
    primary.setHandlers({[&](const platform::LaunchActivation&) { ++activations; },
                         [&](const std::vector<platform::URL>& urls,
                             const platform::LaunchActivation&) { opened.push_back(urls); }});

    const auto film = platform::URL::fileURL("/films/Opening Night.mkv");
    const auto web = *platform::URL::fromString("https://example.com/film.mkv");
    EXPECT_EQ(launch({film, web}), Role::handedOver);
    ASSERT_TRUE(pumpUntil([&] { return primary.handledRequestCount() == 1; }));
    ASSERT_EQ(opened.size(), 1u);
    // The file comes back as the same file; another scheme stays what it was, for the
    // document to refuse.
    EXPECT_EQ(opened[0], (std::vector<platform::URL>{film, web}));
    EXPECT_EQ(opened[0][0].path(), "/films/Opening Night.mkv");

    // Without files the running instance comes forward.
    EXPECT_EQ(launch({}), Role::handedOver);
    ASSERT_TRUE(pumpUntil([&] { return primary.handledRequestCount() == 2; }));
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(SessionInstanceTest, EachRequestCarriesItsLaunchsTokenAndStartupID) {
    SessionInstance primary(connect(QStringLiteral("primary")));
    ASSERT_EQ(primary.claim({}), Role::primary);
    std::vector<platform::LaunchActivation> activations;
    std::vector<platform::LaunchActivation> opens;
    primary.setHandlers(
        {[&](const platform::LaunchActivation& launch) { activations.push_back(launch); },
         [&](const std::vector<platform::URL>&, const platform::LaunchActivation& launch) {
             opens.push_back(launch);
         }});

    const QVariantMap both{{QStringLiteral("activation-token"), QStringLiteral("token-1")},
                           {QStringLiteral("desktop-startup-id"), QStringLiteral("id-1_TIME5")}};
    EXPECT_EQ(launch({}, SessionInstance::kDefaultReplyTimeout, both), Role::handedOver);
    EXPECT_EQ(
        launch({platform::URL::fileURL("/films/a.mkv")}, SessionInstance::kDefaultReplyTimeout,
               {{QStringLiteral("activation-token"), QStringLiteral("token-2")}}),
        Role::handedOver);
    // A launcher that hands over nothing.
    EXPECT_EQ(launch({}), Role::handedOver);
    ASSERT_TRUE(pumpUntil([&] { return primary.handledRequestCount() == 3; }));
    EXPECT_EQ(activations,
              (std::vector<platform::LaunchActivation>{{"token-1", "id-1_TIME5"}, {}}));
    EXPECT_EQ(opens, (std::vector<platform::LaunchActivation>{{"token-2", ""}}));
}

TEST_F(SessionInstanceTest, RequestsWaitForAnApplicationModalDialogAndTheLaunchStillEnds) {
    SessionInstance primary(connect(QStringLiteral("primary")));
    ASSERT_EQ(primary.claim({}), Role::primary);
    std::vector<platform::URL> opened;
    primary.setHandlers(
        {[](const platform::LaunchActivation&) {},
         [&](const std::vector<platform::URL>& urls, const platform::LaunchActivation&) {
             opened.insert(opened.end(), urls.begin(), urls.end());
         }});
    QDialog alert;
    alert.setWindowModality(Qt::ApplicationModal);
    alert.show();

    const auto first = platform::URL::fileURL("/films/a.mkv");
    const auto second = platform::URL::fileURL("/films/b.mkv");
    EXPECT_EQ(launch({first}), Role::handedOver);
    EXPECT_EQ(launch({second}), Role::handedOver);
    // Both requests were answered; neither ran behind the alert.
    ASSERT_TRUE(pumpUntil([&] { return primary.pendingRequestCount() == 2; }));
    EXPECT_EQ(primary.handledRequestCount(), 0);
    EXPECT_TRUE(opened.empty());

    alert.hide();
    ASSERT_TRUE(pumpUntil([&] { return primary.handledRequestCount() == 2; }));
    EXPECT_EQ(opened, (std::vector<platform::URL>{first, second}));
}

TEST_F(SessionInstanceTest, RequestsBeforeTheHandlersAreSetWait) {
    SessionInstance primary(connect(QStringLiteral("primary")));
    ASSERT_EQ(primary.claim({}), Role::primary);
    EXPECT_EQ(launch({platform::URL::fileURL("/films/a.mkv")}), Role::handedOver);
    std::vector<platform::URL> opened;
    ASSERT_TRUE(pumpUntil([&] { return primary.pendingRequestCount() == 1; }));
    primary.setHandlers({[](const platform::LaunchActivation&) {},
                         [&](const std::vector<platform::URL>& urls,
                             const platform::LaunchActivation&) { opened = urls; }});
    ASSERT_TRUE(pumpUntil([&] { return primary.handledRequestCount() == 1; }));
    EXPECT_EQ(opened, std::vector<platform::URL>{platform::URL::fileURL("/films/a.mkv")});
}

TEST_F(SessionInstanceTest, AnOwnerThatDoesNotAnswerLeavesTheLaunchIndependent) {
    QDBusConnection owner = connect(QStringLiteral("silent"));
    SilentObject object;
    ASSERT_TRUE(
        owner.registerVirtualObject(QString::fromLatin1(SessionInstance::kObjectPath), &object));
    ASSERT_TRUE(owner.registerService(QString::fromLatin1(SessionInstance::kBusName)));

    EXPECT_EQ(launch({platform::URL::fileURL("/films/a.mkv")}, 300ms), Role::independent);
    EXPECT_EQ(launch({}, 300ms), Role::independent);
}

TEST_F(SessionInstanceTest, TheNameIsFreeAgainOnceThePrimaryHasGone) {
    {
        SessionInstance primary(connect(QStringLiteral("first")));
        ASSERT_EQ(primary.claim({}), Role::primary);
    }
    SessionInstance next(connect(QStringLiteral("second")));
    EXPECT_EQ(next.claim({platform::URL::fileURL("/films/a.mkv")}), Role::primary);
}

TEST(SessionInstanceWithoutBusTest, RunsAlone) {
    SessionInstance instance(QDBusConnection(QStringLiteral("not-connected")));
    EXPECT_EQ(instance.claim({platform::URL::fileURL("/films/a.mkv")}), Role::alone);
}

TEST(SessionInstanceArgumentsTest, PathsAndFileURLsBecomeFileURLsAndOtherSchemesStay) {
    const auto directory =
        std::filesystem::temp_directory_path() / ("quillon-arguments-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(directory);
    // A file whose name reads like a URL is that file.
    std::ofstream(directory / "clip:1.mkv") << "x";

    const auto urls = SessionInstance::urlsFromArguments(
        {"film.mkv", "/films/a b.mkv", "file:///films/caf%C3%A9%20night.mkv",
         "file://localhost/films/c.mkv", "clip:1.mkv", "https://example.com/x.mkv", ""});
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(directory);

    ASSERT_EQ(urls.size(), 6u);
    EXPECT_EQ(urls[0].path(), (directory / "film.mkv").string());
    EXPECT_EQ(urls[1].path(), "/films/a b.mkv");
    EXPECT_EQ(urls[2].path(), "/films/café night.mkv");
    EXPECT_TRUE(urls[2].isFileURL());
    EXPECT_EQ(urls[3].path(), "/films/c.mkv");
    EXPECT_EQ(urls[3].host(), "");
    EXPECT_EQ(urls[4].path(), (directory / "clip:1.mkv").string());
    EXPECT_EQ(urls[5].scheme(), "https");
    EXPECT_EQ(urls[5].absoluteString(), "https://example.com/x.mkv");
}

}  // namespace
}  // namespace quillon::test
