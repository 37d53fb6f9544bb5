#include "platform/runtime/Implementation.h"

#include <cxxabi.h>

#include <cstdlib>

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"
#include "platform/runtime/Runtime.h"

namespace platform {

namespace {

std::string demangle(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace

Implementation::Implementation(Passkey, Kind kind, const std::type_info* signature,
                               std::unique_ptr<const Callable> callable,
                               std::shared_ptr<Block> block)
    : kind_(kind),
      signature_(signature),
      callable_(std::move(callable)),
      block_(std::move(block)) {}

const IMP& Implementation::superForwarder() {
    // Never destroyed: classes that outlive static destruction may still install it.
    static const auto* forwarder = new IMP(std::make_shared<const Implementation>(
        Passkey(), Kind::superForwarder, nullptr, nullptr, nullptr));
    return *forwarder;
}

std::string Implementation::signatureName() const {
    return signature_ != nullptr ? demangle(*signature_) : std::string("super forwarder");
}

void Implementation::signatureMismatch(const std::type_info& called, SEL op) const {
    fatalError(fmt::format("The implementation {} of {} has the signature {} but was called as {}",
                           static_cast<const void*>(this), NSStringFromSelector(op),
                           signatureName(), demangle(called)));
}

std::string describeIMP(const IMP& imp) {
    return imp ? fmt::format("{}", static_cast<const void*>(imp.get())) : std::string("nil");
}

IMP objc_resolveSuperImplementation(id self, SEL op) {
    Class c = object_getClass(self);
    while (Class s = class_getSuperclass(c)) {
        Method own = class_getInstanceMethod(c, op);
        Method inherited = class_getInstanceMethod(s, op);
        if (own == inherited ||
            (inherited != nullptr && imp_isSuperForwarder(method_getImplementation(inherited)))) {
            c = s;
            continue;
        }
        break;
    }
    return class_getMethodImplementation(class_getSuperclass(c), op);
}

void objc_missingImplementation(id self, SEL op) {
    fatalError(fmt::format("-[{} {}]: no implementation to run for the instance {}",
                           object_getClassName(self), NSStringFromSelector(op),
                           static_cast<const void*>(self)));
}

const IMP& imp_superForwarder() {
    return Implementation::superForwarder();
}

bool imp_isSuperForwarder(const IMP& imp) {
    return imp && imp->kind() == Implementation::Kind::superForwarder;
}

std::shared_ptr<Block> imp_getBlock(const IMP& imp) {
    return imp ? imp->block() : nullptr;
}

namespace runtime_detail {

std::shared_ptr<Block> makeBlock() {
    return std::make_shared<Block>();
}

}  // namespace runtime_detail

}  // namespace platform
