#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/WidgetApplicationEnvironment.h"
#include "libraries/calyxware/AutoLayoutTextView.h"
#include "libraries/calyxware/CXWEagerTextStorage.h"
#include "libraries/calyxware/CalyxwareNotifications.h"
#include "libraries/calyxware/EagerLayoutManager.h"
#include "libraries/calyxware/TextContainer.h"
#include "platform/foundation/NotificationCenter.h"

namespace calyxware {
namespace {

using namespace platform;

// Records the text system's notifications in order, naming each manager's layout by the number
// of glyphs it laid out (so a test sees that layout happened after the change).
class NotificationRecorder {
public:
    explicit NotificationRecorder(CXWEagerTextStorage& storage) {
        auto& center = NotificationCenter::defaultCenter();
        tokens_.push_back(
            center.addObserver(EagerTextStorageWillChangeNotification, &storage,
                               [this](const Notification&) { events.push_back("willChange"); }));
        tokens_.push_back(
            center.addObserver(EagerTextStorageDidChangeNotification, &storage,
                               [this](const Notification&) { events.push_back("didChange"); }));
        tokens_.push_back(center.addObserver(
            EagerLayoutManagerDidCompleteLayoutNotification, nullptr,
            [this](const Notification& notification) {
                auto* manager = static_cast<LayoutManager*>(const_cast<void*>(notification.object));
                const NSRange laidOut =
                    manager->textContainers().empty()
                        ? NSRange{}
                        : manager->glyphRangeForTextContainer(*manager->textContainers().front());
                events.push_back("layout " + std::to_string(NSMaxRange(laidOut)));
            }));
    }

    std::vector<std::string> events;

private:
    std::vector<ObserverToken> tokens_;
};

CXWEagerTextStorage& eagerStorage(AutoLayoutTextView& view) {
    return dynamic_cast<CXWEagerTextStorage&>(*view.textStorage());
}

TEST(EagerTextSystem, NestedEditsPostOneChangePairAndOneLayoutPerEagerManager) {
    AutoLayoutTextView view(CGRectMake(0, 0, 200, 50));
    CXWEagerTextStorage& storage = eagerStorage(view);
    // A second eager manager, and a plain one that the storage must leave alone.
    auto second = std::make_shared<EagerLayoutManager>();
    storage.addLayoutManager(second);
    second->addTextContainer(std::make_shared<TextContainer>(CGSizeMake(100, 1e7)));
    auto plain = std::make_shared<LayoutManager>();
    storage.addLayoutManager(plain);
    plain->addTextContainer(std::make_shared<TextContainer>(CGSizeMake(100, 1e7)));

    NotificationRecorder recorder(storage);
    storage.beginEditing();
    storage.replaceCharactersInRangeWithUTF8(NSMakeRange(0, 0), "Hello");
    storage.beginEditing();
    storage.addAttribute(NSForegroundColorAttributeName, NSColor::whiteColor(), NSMakeRange(0, 5));
    storage.beginEditing();
    storage.replaceCharactersInRangeWithUTF8(NSMakeRange(5, 0), ", world");
    EXPECT_TRUE(storage.isEditing());
    storage.endEditing();
    storage.endEditing();
    EXPECT_EQ(recorder.events, std::vector<std::string>{"willChange"});
    storage.endEditing();

    EXPECT_FALSE(storage.isEditing());
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"willChange", "layout 12", "layout 12", "didChange"}));
    EXPECT_FALSE(plain->hasValidLayout());
}

TEST(EagerTextSystem, AnUnbracketedChangeIsLaidOutBeforeDidChange) {
    AutoLayoutTextView view(CGRectMake(0, 0, 200, 50));
    CXWEagerTextStorage& storage = eagerStorage(view);
    NotificationRecorder recorder(storage);

    storage.replaceCharactersInRange(NSMakeRange(0, 0), u"abc");
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"willChange", "layout 3", "didChange"}));

    recorder.events.clear();
    storage.setAttributes({{NSKernAttributeName, 2.0}}, NSMakeRange(0, 3));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"willChange", "layout 3", "didChange"}));
}

TEST(EagerTextSystem, ConvenienceEditsAreOneOutermostEditEach) {
    AutoLayoutTextView view(CGRectMake(0, 0, 200, 50));
    CXWEagerTextStorage& storage = eagerStorage(view);
    NotificationRecorder recorder(storage);

    NSMutableAttributedString text(std::string_view("one two"));
    text.addAttribute(NSForegroundColorAttributeName, NSColor::whiteColor(), NSMakeRange(0, 3));
    text.addAttribute(NSKernAttributeName, 1.5, NSMakeRange(4, 3));
    storage.setAttributedString(text);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"willChange", "layout 7", "didChange"}));
    EXPECT_EQ(storage.attributedString(), text);

    recorder.events.clear();
    storage.appendAttributedString(NSAttributedString(std::string_view(" three")));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"willChange", "layout 13", "didChange"}));
}

TEST(EagerTextSystem, EagerManagerIgnoresOtherStoragesAndOpenBrackets) {
    auto storage = std::make_shared<TextStorage>(std::string_view("plain"));
    auto manager = std::make_shared<EagerLayoutManager>();
    int layouts = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        EagerLayoutManagerDidCompleteLayoutNotification, manager.get(),
        [&layouts](const Notification&) { ++layouts; });
    storage->addLayoutManager(manager);
    manager->performFullLayout();
    EXPECT_EQ(layouts, 0);
    EXPECT_FALSE(manager->backgroundLayoutEnabled());

    auto eager = std::make_shared<CXWEagerTextStorage>(std::string_view("eager"));
    storage->removeLayoutManager(*manager);
    eager->addLayoutManager(manager);
    EXPECT_EQ(layouts, 1);
    eager->beginEditing();
    manager->performFullLayout();
    EXPECT_EQ(layouts, 1);
    eager->endEditing();
    EXPECT_EQ(layouts, 2);
}

TEST(EagerTextSystem, ContainerGeometryChangesLayOutAgain) {
    AutoLayoutTextView view(CGRectMake(0, 0, 200, 50));
    CXWEagerTextStorage& storage = eagerStorage(view);
    storage.replaceCharactersInRange(NSMakeRange(0, 0), u"some words to wrap");
    NotificationRecorder recorder(storage);

    view.setFrameSize(CGSizeMake(60, 50));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"layout 18"});
    // Wrapped at the narrower width: several lines now.
    NSRange firstLine;
    view.layoutManager()->lineFragmentRectForGlyphAtIndex(0, &firstLine);
    EXPECT_LT(firstLine.length, 18u);
}

TEST(EagerTextSystem, EditedRangeAndMaskGatherNestedChanges) {
    TextStorage storage(std::string_view("abcdef"));
    storage.beginEditing();
    storage.replaceCharactersInRange(NSMakeRange(1, 2), u"XYZW");  // aXYZWdef
    storage.setAttributes({{NSKernAttributeName, 1.0}}, NSMakeRange(6, 2));
    EXPECT_EQ(storage.editedMask(), NSTextStorageEditedCharacters | NSTextStorageEditedAttributes);
    EXPECT_EQ(storage.editedRange(), NSMakeRange(1, 7));
    EXPECT_EQ(storage.changeInLength(), 2);
    storage.endEditing();
    EXPECT_EQ(storage.editedMask(), 0u);
}

}  // namespace
}  // namespace calyxware
