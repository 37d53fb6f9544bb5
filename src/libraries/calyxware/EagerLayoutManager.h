#pragma once

#include <memory>
#include <string_view>

#include "libraries/calyxware/CXWEagerLayoutManaging.h"
#include "libraries/calyxware/LayoutManager.h"

namespace calyxware {

// A layout manager that never leaves layout for later: over an eager text storage it lays out
// the whole text after every completed edit, when it is given a storage and when a container's
// geometry changes; then it tells the auto-layout text views of its containers, and posts
// "org.Calyxware.EagerLayoutManager.didCompleteLayout". Over any other storage, or while the
// storage is inside an editing bracket, it does nothing of that. Main thread only.
class EagerLayoutManager : public LayoutManager, public CXWEagerLayoutManaging {
public:
    static constexpr std::string_view className = "EagerLayoutManager";
    static constexpr std::string_view superclassName = LayoutManager::className;

    EagerLayoutManager();

    void setTextStorage(TextStorage* storage) override;
    void textContainerChangedGeometry(TextContainer& container) override;

    void performFullLayout() override;

    std::string_view codingClassName() const override { return className; }
    static std::shared_ptr<EagerLayoutManager> initWithCoder(platform::NSKeyedUnarchiver& coder);
};

}  // namespace calyxware
