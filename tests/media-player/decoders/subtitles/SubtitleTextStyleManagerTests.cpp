#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleUpdateNotifier.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/NSFontManager.h"
#include "support/FakeCaptionAppearance.h"
#include "support/GuiApplicationEnvironment.h"

using namespace platform;
using namespace quillon;

namespace {

constexpr auto hangTimeout = std::chrono::seconds(10);

// Things observers report from other threads, in order.
class Recorder {
public:
    void record(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }
    bool waitForCount(std::size_t count) { return waitFor(count, hangTimeout); }
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
    }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

class SubtitleTextStyleManagerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(directory_.isValid()); }

    // A manager over the fake's current values whose first rebuild has been built; it
    // announces nothing, so every later notification comes from a later change.
    std::shared_ptr<SubtitleTextStyleManager> makeManager() {
        auto manager = SubtitleTextStyleManager::make(captionAppearance_, defaults_);
        (void)manager->userSpecifiedStyle();
        return manager;
    }

    SubtitleTextStyle styleWith(const FakeCaptionAppearance::Values& values) {
        captionAppearance_->setValues(values);
        return makeManager()->userSpecifiedStyle();
    }

    QTemporaryDir directory_;
    std::shared_ptr<UserDefaults> defaults_ = std::make_shared<UserDefaults>(
        directory_.filePath(QStringLiteral("defaults.conf")).toStdString());
    std::shared_ptr<FakeCaptionAppearance> captionAppearance_ =
        std::make_shared<FakeCaptionAppearance>();
};

const NSShadow* shadowOf(const SubtitleTextStyle& style) {
    return attributeValue<NSShadow>(style.textAttributes.underlyingTextAttributes,
                                    NSShadowAttributeName);
}

std::optional<double> strokeWidthOf(const SubtitleTextStyle& style) {
    const auto& attributes = style.textAttributes.underlyingTextAttributes;
    const auto found = attributes.find(NSStrokeWidthAttributeName);
    return found == attributes.end() ? std::nullopt : found->second.numberValue();
}

}  // namespace

TEST_F(SubtitleTextStyleManagerTest, DefaultCaptionAppearanceGivesTheBaseStyle) {
    FakeCaptionAppearance::Values values;
    values.fontDescriptor = NSFont::boldSystemFontOfSize(30).fontDescriptor();
    const SubtitleTextStyle style = styleWith(values);

    const NSAttributeDictionary& attributes = style.textAttributes.underlyingTextAttributes;
    EXPECT_EQ(style.textAttributes.font(), NSFont::boldSystemFontOfSize(12));
    EXPECT_EQ(style.textAttributes.fontTraits, NSBoldFontMask);
    EXPECT_EQ(style.textAttributes.foregroundColor(), NSColor::whiteColor());
    EXPECT_EQ(attributes.count(NSBackgroundColorAttributeName), 0u);
    EXPECT_EQ(attributes.count(NSShadowAttributeName), 0u);
    EXPECT_EQ(attributes.count(NSStrokeWidthAttributeName), 0u);
    EXPECT_EQ(style.containerInsets, (NSEdgeInsets{12, 12, 12, 12}));
    EXPECT_EQ(style.alignmentInContainer, SubtitleTextStyle::Alignment::center);
    EXPECT_TRUE(style.shouldRestrictOverridesToBasicAttributes);
    EXPECT_EQ(style.scalingInfo, (SubtitleTextStyle::ScalingInfo{12, 5, 1}));
}

TEST_F(SubtitleTextStyleManagerTest, ColoursTakeTheirOpacities) {
    FakeCaptionAppearance::Values values;
    values.foregroundColor = NSColor::colorWithSRGBRed(1, 0, 0, 1);
    values.foregroundOpacity = 0.5;
    values.backgroundColor = NSColor::colorWithSRGBRed(0, 0, 1, 1);
    values.backgroundOpacity = 0.25;
    values.windowColor = NSColor::colorWithSRGBRed(0, 1, 0, 1);
    values.windowOpacity = 0.75;
    values.windowRoundedCornerRadius = 6;
    values.relativeCharacterSize = 1.5;
    const SubtitleTextStyle style = styleWith(values);

    // Without a font descriptor there is no font attribute and no traits.
    EXPECT_EQ(style.textAttributes.underlyingTextAttributes.count(NSFontAttributeName), 0u);
    EXPECT_EQ(style.textAttributes.fontTraits, 0u);
    EXPECT_EQ(style.textAttributes.foregroundColor(), NSColor::colorWithSRGBRed(1, 0, 0, 0.5));
    EXPECT_EQ(*attributeValue<NSColor>(style.textAttributes.underlyingTextAttributes,
                                       NSBackgroundColorAttributeName),
              NSColor::colorWithSRGBRed(0, 0, 1, 0.25));
    EXPECT_EQ(style.overlayStyle.backgroundColor, NSColor::colorWithSRGBRed(0, 1, 0, 0.75));
    EXPECT_EQ(style.overlayStyle.cornerRadius, 6);
    EXPECT_EQ(style.scalingInfo.additionalFontSizeMultiplier, 1.5);
}

TEST_F(SubtitleTextStyleManagerTest, TransparentWindowKeepsItsInsets) {
    FakeCaptionAppearance::Values values;
    values.windowColor = std::nullopt;
    values.windowOpacity = 0;
    values.foregroundColor = std::nullopt;
    const SubtitleTextStyle style = styleWith(values);
    EXPECT_EQ(style.overlayStyle.backgroundColor, NSColor::clearColor());
    EXPECT_EQ(style.overlayStyle.insets, (CGSize{2, 2}));
    EXPECT_EQ(style.textAttributes.foregroundColor(), NSColor::whiteColor());
}

TEST_F(SubtitleTextStyleManagerTest, EdgeStylesBecomeStrokesAndShadows) {
    const auto styleForEdge = [&](long edgeStyle) {
        FakeCaptionAppearance::Values values;
        values.textEdgeStyle = static_cast<MACaptionAppearanceTextEdgeStyle>(edgeStyle);
        return styleWith(values);
    };
    const NSColor shadowColor = NSColor::blackColor().colorWithAlphaComponent(0.6);

    const SubtitleTextStyle uniform = styleForEdge(kMACaptionAppearanceTextEdgeStyleUniform);
    EXPECT_DOUBLE_EQ(*strokeWidthOf(uniform), -19.44444);
    EXPECT_EQ(*attributeValue<NSColor>(uniform.textAttributes.underlyingTextAttributes,
                                       NSStrokeColorAttributeName),
              NSColor::blackColor());
    EXPECT_EQ(shadowOf(uniform), nullptr);

    const SubtitleTextStyle raised = styleForEdge(kMACaptionAppearanceTextEdgeStyleRaised);
    ASSERT_NE(shadowOf(raised), nullptr);
    EXPECT_NEAR(shadowOf(raised)->shadowOffset.width, -1.0588236, 1e-6);
    EXPECT_NEAR(shadowOf(raised)->shadowOffset.height, 1.0588236, 1e-6);
    EXPECT_EQ(shadowOf(raised)->shadowBlurRadius, 4);
    EXPECT_EQ(shadowOf(raised)->shadowColor, shadowColor);
    EXPECT_EQ(strokeWidthOf(raised), std::nullopt);

    const SubtitleTextStyle depressed = styleForEdge(kMACaptionAppearanceTextEdgeStyleDepressed);
    ASSERT_NE(shadowOf(depressed), nullptr);
    EXPECT_NEAR(shadowOf(depressed)->shadowOffset.width, 1.0588236, 1e-6);
    EXPECT_NEAR(shadowOf(depressed)->shadowOffset.height, -1.0588236, 1e-6);

    const SubtitleTextStyle dropShadow = styleForEdge(kMACaptionAppearanceTextEdgeStyleDropShadow);
    EXPECT_DOUBLE_EQ(*strokeWidthOf(dropShadow), -5.55556);
    ASSERT_NE(shadowOf(dropShadow), nullptr);
    EXPECT_EQ(*shadowOf(dropShadow), (NSShadow{{0, 0}, 4, shadowColor}));

    for (long plain : {0L, 1L}) {
        const SubtitleTextStyle style = styleForEdge(plain);
        EXPECT_EQ(shadowOf(style), nullptr);
        EXPECT_EQ(strokeWidthOf(style), std::nullopt);
    }

    ScopedLogCapture log;
    const SubtitleTextStyle unknown = styleForEdge(9);
    EXPECT_TRUE(log.contains("Unhandled caption text edge style: 9."));
    EXPECT_EQ(shadowOf(unknown), nullptr);
    EXPECT_EQ(strokeWidthOf(unknown), std::nullopt);
}

TEST_F(SubtitleTextStyleManagerTest, ResolvedStyleFollowsThePreferenceAtEachCall) {
    FakeCaptionAppearance::Values values;
    values.foregroundColor = NSColor::colorWithSRGBRed(1, 1, 0, 1);
    values.fontDescriptor = NSFont::systemFontOfSize(0).fontDescriptor();
    captionAppearance_->setValues(values);
    const auto manager = makeManager();

    SubtitleTextStyle given;
    given.textAttributes.fontTraits = NSItalicFontMask;
    given.textAttributes.underlyingTextAttributes = {
        {NSForegroundColorAttributeName, NSColor::colorWithSRGBRed(0, 0, 1, 1)},
        {NSStrikethroughStyleAttributeName, 1},
    };
    given.textAttributes.setFont(NSFont::systemFontOfSize(40));
    given.alignmentInContainer = SubtitleTextStyle::Alignment::right;

    EXPECT_EQ(manager->resolvedStyle(given), given);

    defaults_->set(true, QPUseUserSpecifiedSubtitleTextStyle);
    const SubtitleTextStyle resolved = manager->resolvedStyle(given);
    EXPECT_EQ(resolved.textAttributes.foregroundColor(), NSColor::colorWithSRGBRed(1, 1, 0, 1));
    // The user's font, with the given style's traits.
    EXPECT_EQ(resolved.textAttributes.font(), NSFontManager::sharedFontManager().convertFont(
                                                  NSFont::systemFontOfSize(12), NSItalicFontMask));
    EXPECT_EQ(resolved.textAttributes.fontTraits, NSItalicFontMask);
    EXPECT_EQ(
        resolved.textAttributes.underlyingTextAttributes.at(NSStrikethroughStyleAttributeName),
        NSAttributeValue(1));
    EXPECT_EQ(resolved.textAttributes.underlyingTextAttributes.at(NSUnderlineStyleAttributeName),
              NSAttributeValue(0));
    EXPECT_EQ(resolved.alignmentInContainer, SubtitleTextStyle::Alignment::right);
    EXPECT_EQ(resolved.containerInsets, manager->userSpecifiedStyle().containerInsets);

    defaults_->set(false, QPUseUserSpecifiedSubtitleTextStyle);
    EXPECT_EQ(manager->resolvedStyle(given), given);
}

TEST_F(SubtitleTextStyleManagerTest, ChangeIsPostedFromAUtilityGlobalQueueAfterTheRebuild) {
    const auto manager = makeManager();
    Recorder recorder;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        SubtitleTextStyleManagerUserSpecifiedTextStyleDidChangeNotification, manager.get(),
        [&](const Notification&) {
            const bool onGlobalQueue = DispatchQueue::global(DispatchQoS::utility).isCurrent();
            const bool onManagerQueue = manager->queue()->isCurrent();
            // Reading the manager here must not wait for the poster.
            const double multiplier =
                manager->userSpecifiedStyle().scalingInfo.additionalFontSizeMultiplier;
            recorder.record(fmt::format("{} {} {:g}", onGlobalQueue, onManagerQueue, multiplier));
        });

    FakeCaptionAppearance::Values values;
    values.relativeCharacterSize = 2;
    captionAppearance_->setValues(values);
    ASSERT_TRUE(recorder.waitForCount(1));
    // The first build, posted before this one if at all, announced nothing.
    EXPECT_EQ(recorder.events(), std::vector<std::string>{"true false 2"});

    // The preference pane announces a toggled preference the same way.
    manager->updateUserSpecifiedStyle();
    ASSERT_TRUE(recorder.waitForCount(2));
    EXPECT_EQ(recorder.events().back(), "true false 2");
}

TEST_F(SubtitleTextStyleManagerTest, QueuesCarryTheirLabels) {
    const auto manager = makeManager();
    EXPECT_EQ(manager->queue()->label(), "Subtitle Text Style Manager Queue");
    EXPECT_EQ(manager->queue()->qos(), DispatchQoS::utility);
    const auto notifier = SubtitleTextStyleUpdateNotifier::make(manager);
    EXPECT_EQ(notifier->queue()->label(), "Subtitle Text Style Update Notifier Queue");
}

// A rebuild must never outlive the manager: one left running on a detached thread read Qt's
// settings while the process exited.
TEST_F(SubtitleTextStyleManagerTest, TheLastReleaseWaitsForTheRebuildUnderWayAndSkipsQueuedOnes) {
    auto manager = makeManager();
    const int readsPerRebuild = captionAppearance_->callCount();
    const std::weak_ptr<SubtitleTextStyleManager> weakManager = manager;

    std::mutex mutex;
    std::condition_variable changed;
    bool rebuilding = false;
    bool released = false;
    captionAppearance_->setReadHook([&] {
        std::unique_lock lock(mutex);
        rebuilding = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    });
    // Held part-way through its first read until the manager's destruction has begun.
    captionAppearance_->setValues({});
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, hangTimeout, [&] { return rebuilding; }));
    }
    // Queued behind the held one.
    captionAppearance_->setValues({});

    std::thread releaser([&] {
        while (!weakManager.expired()) {
            std::unique_lock lock(mutex);
            if (released) {
                return;
            }
            lock.unlock();
            std::this_thread::yield();
        }
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    });
    manager.reset();
    bool waitedForTheRebuild = false;
    {
        std::lock_guard lock(mutex);
        waitedForTheRebuild = released;
        released = true;  // lets a rebuild that outlived its manager finish
        changed.notify_all();
    }
    releaser.join();

    EXPECT_TRUE(waitedForTheRebuild);
    if (waitedForTheRebuild) {
        // The held rebuild ran to its end; the queued one never started.
        EXPECT_EQ(captionAppearance_->callCount(), 2 * readsPerRebuild);
    }
    captionAppearance_->setReadHook(nullptr);
}

class SubtitleTextStyleUpdateNotifierTest : public SubtitleTextStyleManagerTest {
protected:
    void change() {
        FakeCaptionAppearance::Values values;
        values.relativeCharacterSize = ++size_;
        captionAppearance_->setValues(values);
    }

    std::shared_ptr<SubtitleTextStyleManager> manager_ = makeManager();
    std::shared_ptr<SubtitleTextStyleUpdateNotifier> notifier_ =
        SubtitleTextStyleUpdateNotifier::make(manager_);
    double size_ = 1;
};

TEST_F(SubtitleTextStyleUpdateNotifierTest, DecoderObserversRunBeforePlayerObserversOnEveryChange) {
    Recorder recorder;
    std::vector<std::shared_ptr<SubtitleTextStyleUpdateNotifier::ObserverContext>> tokens;
    for (int index = 0; index < 3; ++index) {
        tokens.push_back(notifier_->addMediaPlayerObserver([&] { recorder.record("player"); }));
        tokens.push_back(notifier_->addDecoderObserver([&, this] {
            // A decoder rebuilds its style map from the new style, on the posting thread.
            const bool onGlobalQueue = DispatchQueue::global(DispatchQoS::utility).isCurrent();
            const bool onOwnQueues =
                manager_->queue()->isCurrent() || notifier_->queue()->isCurrent();
            const double size =
                manager_->userSpecifiedStyle().scalingInfo.additionalFontSizeMultiplier;
            recorder.record(
                fmt::format("decoder {} {} {}", onGlobalQueue, onOwnQueues, size == size_));
        }));
    }

    for (int round = 1; round <= 3; ++round) {
        change();
        ASSERT_TRUE(recorder.waitForCount(static_cast<std::size_t>(6 * round)));
    }
    const auto events = recorder.events();
    ASSERT_EQ(events.size(), 18u);
    for (std::size_t round = 0; round < 3; ++round) {
        for (std::size_t index = 0; index < 3; ++index) {
            EXPECT_EQ(events[round * 6 + index], "decoder true false true");
            EXPECT_EQ(events[round * 6 + 3 + index], "player");
        }
    }
}

TEST_F(SubtitleTextStyleUpdateNotifierTest, DroppedContextsAreNeverCalledAgain) {
    Recorder recorder;
    auto dropped = notifier_->addDecoderObserver([&] { recorder.record("dropped"); });
    auto kept = notifier_->addMediaPlayerObserver([&] { recorder.record("kept"); });

    change();
    ASSERT_TRUE(recorder.waitForCount(2));
    dropped.reset();
    change();
    // The player observer runs after every decoder observer of the same change.
    ASSERT_TRUE(recorder.waitForCount(3));
    EXPECT_EQ(recorder.events(), (std::vector<std::string>{"dropped", "kept", "kept"}));
}

TEST_F(SubtitleTextStyleUpdateNotifierTest, ObserversMayRegisterAndRemoveObservers) {
    Recorder recorder;
    std::shared_ptr<SubtitleTextStyleUpdateNotifier::ObserverContext> late;
    std::shared_ptr<SubtitleTextStyleUpdateNotifier::ObserverContext> self;
    self = notifier_->addDecoderObserver([&] {
        if (!late) {
            late = notifier_->addMediaPlayerObserver([&] { recorder.record("late"); });
        }
        recorder.record("first");
    });
    auto sentinel = notifier_->addMediaPlayerObserver([&] { recorder.record("sentinel"); });

    change();
    ASSERT_TRUE(recorder.waitForCount(2));
    // Observers added during a change start with the next one.
    EXPECT_EQ(recorder.events(), (std::vector<std::string>{"first", "sentinel"}));

    change();
    ASSERT_TRUE(recorder.waitForCount(5));
    const auto events = recorder.events();
    EXPECT_EQ(events[2], "first");
    EXPECT_EQ(std::count(events.begin() + 3, events.end(), "late"), 1);
    EXPECT_EQ(std::count(events.begin() + 3, events.end(), "sentinel"), 1);
}

TEST(SubtitleTextStyleSharedTest, SharedObjectsAreMadeOnceAndReady) {
    Recorder announcements;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        SubtitleTextStyleManagerUserSpecifiedTextStyleDidChangeNotification, nullptr,
        [&](const Notification& notification) {
            if (notification.object == SubtitleTextStyleManager::shared().get()) {
                announcements.record("changed");
            }
        });

    const auto& manager = SubtitleTextStyleManager::shared();
    EXPECT_EQ(manager, SubtitleTextStyleManager::shared());
    EXPECT_EQ(manager->userSpecifiedStyle().scalingInfo.initialBaseFontSize, 12);
    EXPECT_EQ(SubtitleTextStyleUpdateNotifier::shared(), SubtitleTextStyleUpdateNotifier::shared());

    // Let this announcement finish before the process exits; the first build made none.
    manager->updateUserSpecifiedStyle();
    ASSERT_TRUE(announcements.waitForCount(1));
}
