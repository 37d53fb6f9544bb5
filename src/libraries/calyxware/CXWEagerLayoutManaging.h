#pragma once

namespace calyxware {

// A layout manager that lays out the whole text on demand; the eager text storage finds its
// managers by this interface and calls it after every completed edit.
class CXWEagerLayoutManaging {
public:
    virtual ~CXWEagerLayoutManaging() = default;
    virtual void performFullLayout() = 0;
};

}  // namespace calyxware
