#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/runtime/Object.h"

namespace platform {

// A class of the runtime. Its state belongs to the runtime and is reached only through the
// runtime's functions (Runtime.h), which guard it with the runtime's lock.
struct objc_class final : objc_object {
    ~objc_class() override;

private:
    friend class RuntimeState;

    objc_class(std::string name, Class superclass, bool isMetaclass);

    std::string name_;
    Class superclass_;
    bool isMetaclass_;
    bool registered_ = false;
    // In the order the methods were added, which is the order class_copyMethodList answers.
    std::vector<std::unique_ptr<objc_method>> methodList_;
    std::unordered_map<SEL, objc_method*> methods_;
};

}  // namespace platform
