#include "libraries/interposition/InterposeError.h"

#include <fmt/format.h>

#include "libraries/interposition/RuntimeQueries.h"
#include "platform/runtime/Runtime.h"

using namespace platform;

namespace interposition {

namespace {

std::string methodName(Class cls, SEL selector) {
    return fmt::format("-[{} {}]", unqualifiedName(cls), NSStringFromSelector(selector));
}

std::string objectDescription(const std::shared_ptr<NSObject>& object) {
    return object ? object->description() : std::string("nil");
}

}  // namespace

HookState HookState::error(const InterposeError& error) {
    return HookState(Kind::error, std::make_shared<const InterposeError>(error));
}

std::string HookState::description() const {
    switch (kind_) {
        case Kind::prepared:
            return "prepared";
        case Kind::interposed:
            return "interposed";
        case Kind::error:
            return fmt::format("error({})", error_->caseDescription());
    }
    return "prepared";
}

bool operator==(const HookState& lhs, const HookState& rhs) {
    if (lhs.kind_ != rhs.kind_) {
        return false;
    }
    return lhs.kind_ != HookState::Kind::error || *lhs.error_ == *rhs.error_;
}

InterposeError InterposeError::methodNotFound(Class cls, SEL selector) {
    InterposeError error(Case::methodNotFound);
    error.class_ = cls;
    error.selector_ = selector;
    return error;
}

InterposeError InterposeError::nonExistingImplementation(Class cls, SEL selector) {
    InterposeError error(Case::nonExistingImplementation);
    error.class_ = cls;
    error.selector_ = selector;
    return error;
}

InterposeError InterposeError::unexpectedImplementation(Class cls, SEL selector, IMP found) {
    InterposeError error(Case::unexpectedImplementation);
    error.class_ = cls;
    error.selector_ = selector;
    error.implementation_ = std::move(found);
    return error;
}

InterposeError InterposeError::failedToAllocateClassPair(Class cls, std::string subclassName) {
    InterposeError error(Case::failedToAllocateClassPair);
    error.class_ = cls;
    error.text_ = std::move(subclassName);
    return error;
}

InterposeError InterposeError::unableToAddMethod(Class cls, SEL selector) {
    InterposeError error(Case::unableToAddMethod);
    error.class_ = cls;
    error.selector_ = selector;
    return error;
}

InterposeError InterposeError::keyValueObservationDetected(std::shared_ptr<NSObject> object) {
    InterposeError error(Case::keyValueObservationDetected);
    error.object_ = std::move(object);
    return error;
}

InterposeError InterposeError::objectPosingAsDifferentClass(std::shared_ptr<NSObject> object,
                                                            Class actualClass) {
    InterposeError error(Case::objectPosingAsDifferentClass);
    error.object_ = std::move(object);
    error.class_ = actualClass;
    return error;
}

InterposeError InterposeError::invalidState(HookState expected) {
    InterposeError error(Case::invalidState);
    error.expected_ = std::move(expected);
    return error;
}

InterposeError InterposeError::resetUnsupported(std::string reason) {
    InterposeError error(Case::resetUnsupported);
    error.text_ = std::move(reason);
    return error;
}

InterposeError InterposeError::unknownError(std::string reason) {
    InterposeError error(Case::unknownError);
    error.text_ = std::move(reason);
    return error;
}

std::string InterposeError::description() const {
    switch (case_) {
        case Case::methodNotFound:
            return "Method not found: " + methodName(class_, selector_);
        case Case::nonExistingImplementation:
            return "Implementation not found: " + methodName(class_, selector_);
        case Case::unexpectedImplementation:
            return fmt::format("Unexpected Implementation in {}: {}", methodName(class_, selector_),
                               describeIMP(implementation_));
        case Case::failedToAllocateClassPair:
            return fmt::format("Failed to allocate class pair: {}, {}", unqualifiedName(class_),
                               text_);
        case Case::unableToAddMethod:
            return "Unable to add method: " + methodName(class_, selector_);
        case Case::keyValueObservationDetected:
            return "Unable to hook object that uses Key Value Observing: " +
                   objectDescription(object_);
        case Case::objectPosingAsDifferentClass:
            return fmt::format("Unable to hook {} posing as {}/",
                               unqualifiedName(reportedClass(object_.get())),
                               NSStringFromClass(class_));
        case Case::invalidState:
            return "Invalid State. Expected: " + expected_->description();
        case Case::resetUnsupported:
            return "Reset Unsupported: " + text_;
        case Case::unknownError:
            return text_;
    }
    return text_;
}

std::string InterposeError::caseDescription() const {
    auto selector = [this] { return NSStringFromSelector(selector_); };
    switch (case_) {
        case Case::methodNotFound:
            return fmt::format("methodNotFound({}, {})", unqualifiedName(class_), selector());
        case Case::nonExistingImplementation:
            return fmt::format("nonExistingImplementation({}, {})", unqualifiedName(class_),
                               selector());
        case Case::unexpectedImplementation:
            return fmt::format("unexpectedImplementation({}, {}, {})", unqualifiedName(class_),
                               selector(), describeIMP(implementation_));
        case Case::failedToAllocateClassPair:
            return fmt::format("failedToAllocateClassPair({}, \"{}\")", unqualifiedName(class_),
                               text_);
        case Case::unableToAddMethod:
            return fmt::format("unableToAddMethod({}, {})", unqualifiedName(class_), selector());
        case Case::keyValueObservationDetected:
            return fmt::format("keyValueObservationDetected({})", objectDescription(object_));
        case Case::objectPosingAsDifferentClass:
            return fmt::format("objectPosingAsDifferentClass({}, {})", objectDescription(object_),
                               NSStringFromClass(class_));
        case Case::invalidState:
            return fmt::format("invalidState({})", expected_->description());
        case Case::resetUnsupported:
            return fmt::format("resetUnsupported(\"{}\")", text_);
        case Case::unknownError:
            return fmt::format("unknownError(\"{}\")", text_);
    }
    return text_;
}

std::shared_ptr<const Error> InterposeError::clone() const {
    return std::make_shared<const InterposeError>(*this);
}

}  // namespace interposition
