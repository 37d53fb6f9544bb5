#include "platform/runtime/Runtime.h"

#include <map>
#include <mutex>
#include <shared_mutex>

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"
#include "platform/runtime/TypeEncoding.h"

namespace platform {

struct objc_method {
    SEL name;
    std::string types;
    IMP imp;  // guarded by the runtime's lock
};

objc_class::objc_class(std::string name, Class superclass, bool isMetaclass)
    : objc_object(nullptr),
      name_(std::move(name)),
      superclass_(superclass),
      isMetaclass_(isMetaclass) {}

objc_class::~objc_class() = default;

// The class tables. Made on first use and never destroyed: classes are handed out as plain
// pointers, and block implementations kept for the life of the process stay reachable from here.
class RuntimeState {
public:
    static RuntimeState& shared() {
        static auto* instance = new RuntimeState();
        return *instance;
    }

    // A class's name, superclass and kind never change once it is made, so they need no lock.
    static const char* nameOf(Class cls) { return cls->name_.c_str(); }
    static Class superclassOf(Class cls) { return cls->superclass_; }
    static bool isMetaclass(Class cls) { return cls->isMetaclass_; }

    Class nsObjectClass() const { return nsObject_; }
    Class nsBlockClass() const { return nsBlock_; }

    Class registeredClass(std::string_view name) {
        std::shared_lock lock(mutex_);
        auto it = classes_.find(name);
        return it != classes_.end() && it->second.cls->registered_ ? it->second.cls.get() : nullptr;
    }

    Method instanceMethod(Class cls, SEL name) {
        std::shared_lock lock(mutex_);
        return lookUp(cls, name);
    }

    IMP methodImplementation(Class cls, SEL name) {
        std::shared_lock lock(mutex_);
        Method method = lookUp(cls, name);
        return method != nullptr ? method->imp : IMP();
    }

    std::vector<Method> methodList(Class cls) {
        std::shared_lock lock(mutex_);
        std::vector<Method> list;
        list.reserve(cls->methodList_.size());
        for (const auto& method : cls->methodList_) {
            list.push_back(method.get());
        }
        return list;
    }

    bool addMethod(Class cls, SEL name, IMP imp, const char* types) {
        std::unique_lock lock(mutex_);
        if (cls->methods_.contains(name)) {
            return false;
        }
        add(cls, name, std::move(imp), types);
        return true;
    }

    IMP replaceMethod(Class cls, SEL name, IMP imp, const char* types) {
        std::unique_lock lock(mutex_);
        if (auto it = cls->methods_.find(name); it != cls->methods_.end()) {
            std::swap(it->second->imp, imp);
            return imp;
        }
        add(cls, name, std::move(imp), types);
        return IMP();
    }

    IMP implementation(Method method) {
        std::shared_lock lock(mutex_);
        return method->imp;
    }

    IMP setImplementation(Method method, IMP imp) {
        std::unique_lock lock(mutex_);
        std::swap(method->imp, imp);
        return imp;
    }

    Class allocateClassPair(Class superclass, std::string_view name) {
        std::unique_lock lock(mutex_);
        return allocate(superclass, name);
    }

    void registerClassPair(Class cls) {
        std::vector<ClassRegistrationObserver> observers;
        {
            std::unique_lock lock(mutex_);
            precondition(!cls->isMetaclass_, "objc_registerClassPair called with a metaclass");
            precondition(!cls->registered_,
                         fmt::format("Class {} is already registered", cls->name_));
            cls->registered_ = true;
            object_getClass(cls)->registered_ = true;
        }
        {
            std::lock_guard lock(observersMutex_);
            observers = observers_;
        }
        for (const auto& observer : observers) {
            observer(cls);
        }
    }

    void disposeClassPair(Class cls) {
        std::unique_lock lock(mutex_);
        precondition(!cls->isMetaclass_, "objc_disposeClassPair called with a metaclass");
        for (const auto& [name, pair] : classes_) {
            precondition(pair.cls->superclass_ != cls,
                         fmt::format("Class {} still has the subclass {}", cls->name_, name));
        }
        auto it = classes_.find(cls->name_);
        precondition(it != classes_.end() && it->second.cls.get() == cls,
                     "objc_disposeClassPair called with a class the runtime does not own");
        classes_.erase(it);
    }

    void addObserver(ClassRegistrationObserver observer) {
        std::lock_guard lock(observersMutex_);
        observers_.push_back(std::move(observer));
    }

    void registerBlock(const IMP& imp) {
        std::lock_guard lock(blocksMutex_);
        blocks_.emplace(imp.get(), imp);
    }

    bool removeBlock(const IMP& imp) {
        IMP released;
        {
            std::lock_guard lock(blocksMutex_);
            auto it = blocks_.find(imp.get());
            if (it == blocks_.end()) {
                return false;
            }
            released = std::move(it->second);
            blocks_.erase(it);
        }
        // The last reference may go here, and with it whatever the block captured; that must
        // not happen under the lock.
        return true;
    }

private:
    struct ClassPair {
        std::unique_ptr<objc_class> cls;
        std::unique_ptr<objc_class> metaclass;
    };

    RuntimeState() {
        nsObject_ = allocate(nullptr, "NSObject");
        add(nsObject_, sel_registerName("class"),
            imp_implementationWithFunction<Class(id, SEL)>(
                [](id self, SEL) { return object_getClass(self); }),
            "#@:");
        add(object_getClass(nsObject_), sel_registerName("class"),
            imp_implementationWithFunction<Class(id, SEL)>(
                [](id self, SEL) { return static_cast<Class>(self); }),
            "#@:");
        nsObject_->registered_ = true;
        object_getClass(nsObject_)->registered_ = true;

        nsBlock_ = allocate(nsObject_, "NSBlock");
        nsBlock_->registered_ = true;
        object_getClass(nsBlock_)->registered_ = true;
    }

    // Lock held.
    static Method lookUp(Class cls, SEL name) {
        for (Class c = cls; c != nullptr; c = c->superclass_) {
            if (auto it = c->methods_.find(name); it != c->methods_.end()) {
                return it->second;
            }
        }
        return nullptr;
    }

    // Lock held exclusively.
    static void add(Class cls, SEL name, IMP imp, const char* types) {
        auto method = std::make_unique<objc_method>(objc_method{
            name, types != nullptr ? std::string(types) : std::string(), std::move(imp)});
        cls->methods_.emplace(name, method.get());
        cls->methodList_.push_back(std::move(method));
    }

    // Lock held exclusively.
    Class allocate(Class superclass, std::string_view name) {
        if (name.empty() || classes_.contains(name)) {
            return nullptr;
        }
        ClassPair pair;
        pair.cls.reset(new objc_class(std::string(name), superclass, false));
        // A root class's metaclass inherits from the root class itself; every metaclass is an
        // instance of the root metaclass.
        Class metaSuperclass = superclass != nullptr ? object_getClass(superclass) : pair.cls.get();
        pair.metaclass.reset(new objc_class(std::string(name), metaSuperclass, true));
        Class root = superclass;
        while (root != nullptr && root->superclass_ != nullptr) {
            root = root->superclass_;
        }
        Class rootMetaclass = root != nullptr ? object_getClass(root) : pair.metaclass.get();
        object_setClass(pair.metaclass.get(), rootMetaclass);
        object_setClass(pair.cls.get(), pair.metaclass.get());
        Class cls = pair.cls.get();
        classes_.emplace(cls->name_, std::move(pair));
        return cls;
    }

    std::shared_mutex mutex_;
    std::map<std::string, ClassPair, std::less<>> classes_;
    Class nsObject_ = nullptr;
    Class nsBlock_ = nullptr;

    std::mutex observersMutex_;
    std::vector<ClassRegistrationObserver> observers_;

    std::mutex blocksMutex_;
    std::map<const Implementation*, IMP> blocks_;
};

Class objc_getClass(std::string_view name) {
    return RuntimeState::shared().registeredClass(name);
}

Class objc_lookUpClass(std::string_view name) {
    return objc_getClass(name);
}

Class objc_getMetaClass(std::string_view name) {
    Class cls = objc_getClass(name);
    return cls != nullptr ? object_getClass(cls) : nullptr;
}

Class NSClassFromString(std::string_view name) {
    return objc_getClass(name);
}

std::string NSStringFromClass(Class cls) {
    return cls != nullptr ? std::string(class_getName(cls)) : std::string("nil");
}

Method class_getInstanceMethod(Class cls, SEL name) {
    if (cls == nullptr || name == nullptr) {
        return nullptr;
    }
    return RuntimeState::shared().instanceMethod(cls, name);
}

Method class_getClassMethod(Class cls, SEL name) {
    return cls != nullptr ? class_getInstanceMethod(object_getClass(cls), name) : nullptr;
}

IMP class_getMethodImplementation(Class cls, SEL name) {
    if (cls == nullptr || name == nullptr) {
        return IMP();
    }
    return RuntimeState::shared().methodImplementation(cls, name);
}

bool class_respondsToSelector(Class cls, SEL name) {
    return class_getInstanceMethod(cls, name) != nullptr;
}

std::vector<Method> class_copyMethodList(Class cls) {
    return cls != nullptr ? RuntimeState::shared().methodList(cls) : std::vector<Method>();
}

bool class_addMethod(Class cls, SEL name, IMP imp, const char* types) {
    precondition(cls != nullptr && name != nullptr, "class_addMethod needs a class and a selector");
    return RuntimeState::shared().addMethod(cls, name, std::move(imp), types);
}

IMP class_replaceMethod(Class cls, SEL name, IMP imp, const char* types) {
    precondition(cls != nullptr && name != nullptr,
                 "class_replaceMethod needs a class and a selector");
    return RuntimeState::shared().replaceMethod(cls, name, std::move(imp), types);
}

SEL method_getName(Method method) {
    return method != nullptr ? method->name : nullptr;
}

IMP method_getImplementation(Method method) {
    return method != nullptr ? RuntimeState::shared().implementation(method) : IMP();
}

IMP method_setImplementation(Method method, IMP imp) {
    precondition(method != nullptr, "method_setImplementation called with a null method");
    return RuntimeState::shared().setImplementation(method, std::move(imp));
}

const char* method_getTypeEncoding(Method method) {
    // The encoding never changes after the method is made, so it needs no lock.
    return method != nullptr ? method->types.c_str() : nullptr;
}

Class objc_allocateClassPair(Class superclass, std::string_view name, std::size_t) {
    return RuntimeState::shared().allocateClassPair(superclass, name);
}

void objc_registerClassPair(Class cls) {
    precondition(cls != nullptr, "objc_registerClassPair called with a null class");
    RuntimeState::shared().registerClassPair(cls);
}

void objc_disposeClassPair(Class cls) {
    if (cls != nullptr) {
        RuntimeState::shared().disposeClassPair(cls);
    }
}

void objc_addClassRegistrationObserver(ClassRegistrationObserver observer) {
    RuntimeState::shared().addObserver(std::move(observer));
}

const char* class_getName(Class cls) {
    return cls != nullptr ? RuntimeState::nameOf(cls) : "nil";
}

Class class_getSuperclass(Class cls) {
    return cls != nullptr ? RuntimeState::superclassOf(cls) : nullptr;
}

bool class_isMetaClass(Class cls) {
    return cls != nullptr && RuntimeState::isMetaclass(cls);
}

Class NSObject::objcClass() {
    return RuntimeState::shared().nsObjectClass();
}

Class Block::objcClass() {
    return RuntimeState::shared().nsBlockClass();
}

namespace runtime_detail {

void registerBlockImplementation(const IMP& imp) {
    RuntimeState::shared().registerBlock(imp);
}

}  // namespace runtime_detail

bool imp_removeBlock(const IMP& imp) {
    return imp && imp->kind() == Implementation::Kind::block &&
           RuntimeState::shared().removeBlock(imp);
}

}  // namespace platform
