#include "libraries/calyxware/CodingSupport.h"

#include <mutex>

#include "libraries/calyxware/ArchivedAttributedString.h"
#include "libraries/calyxware/ArchivedColor.h"
#include "libraries/calyxware/AutoLayoutTextView.h"
#include "libraries/calyxware/CXWEagerTextStorage.h"
#include "libraries/calyxware/EagerLayoutManager.h"
#include "libraries/calyxware/Label.h"
#include "libraries/calyxware/LayerView.h"
#include "libraries/calyxware/LayoutManager.h"
#include "libraries/calyxware/TextContainer.h"
#include "libraries/calyxware/TextStorage.h"
#include "libraries/calyxware/TextView.h"
#include "platform/foundation/Error.h"

namespace calyxware {

void failCorruptArchive(platform::NSKeyedUnarchiver& coder, std::string description) {
    coder.failWithError(
        platform::NSError(platform::NSCocoaErrorDomain, platform::NSCoderReadCorruptError,
                          {{platform::NSDebugDescriptionErrorKey, std::move(description)}}));
}

void registerCalyxwareCodingClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        using Registry = platform::NSSecureCodingRegistry;
        Registry::registerClass<ArchivedColor>();
        Registry::registerClass<ArchivedAttributedString>();
        Registry::registerClass<TextStorage>();
        Registry::registerClass<CXWEagerTextStorage>();
        Registry::registerClass<LayoutManager>();
        Registry::registerClass<EagerLayoutManager>();
        Registry::registerClass<TextContainer>();
        Registry::registerClass<TextView>();
        Registry::registerClass<AutoLayoutTextView>();
        Registry::registerClass<Label>();
        Registry::registerClass<LayerView>();
    });
}

namespace {

// Archives may name any class of the library before the program has used it (a text view
// decoded through its base class, say): enter them all when the program starts.
const bool codingClassesRegistered = (registerCalyxwareCodingClasses(), true);

}  // namespace

}  // namespace calyxware
