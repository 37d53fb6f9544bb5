#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFDictionary.h"

namespace platform {

// The object model of the platform's private media objects (renderers, routing contexts):
// each object has a table of class functions, reached through CMBaseObjectGetVTable, whose
// base part answers and changes the object's properties by key.
class CMBaseObject {
public:
    virtual ~CMBaseObject() = default;
};

using CMBaseObjectRef = std::shared_ptr<CMBaseObject>;
using CFAllocatorRef = const void*;
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

using CMBaseObjectCopyPropertyFunction = OSStatus (*)(const CMBaseObjectRef& object,
                                                      const std::string& propertyKey,
                                                      CFAllocatorRef allocator,
                                                      CFValue* propertyValueOut);
using CMBaseObjectSetPropertyFunction = OSStatus (*)(const CMBaseObjectRef& object,
                                                     const std::string& propertyKey,
                                                     const CFValue& propertyValue);

// The base class part of the table, laid out as on a 64-bit system: copyProperty at byte 48,
// setProperty at byte 56.
struct CMBaseClass {
    std::uint32_t version = 0;
    std::size_t derivedStorageSize = 0;
    bool (*equal)(const CMBaseObjectRef&, const CMBaseObjectRef&) = nullptr;
    OSStatus (*invalidate)(const CMBaseObjectRef&) = nullptr;
    void (*finalize)(const CMBaseObjectRef&) = nullptr;
    const void* (*copyDebugDescription)(const CMBaseObjectRef&) = nullptr;
    CMBaseObjectCopyPropertyFunction copyProperty = nullptr;
    CMBaseObjectSetPropertyFunction setProperty = nullptr;
    const void* reserved1 = nullptr;
    const void* reserved2 = nullptr;
};

// An object's class table: its second pointer (byte 8) is the base class.
struct CMBaseVTable {
    const void* reserved = nullptr;
    const CMBaseClass* baseClass = nullptr;
    const void* derivedClass = nullptr;
};

static_assert(sizeof(void*) == 8, "the base-object table layout is the 64-bit one");
static_assert(offsetof(CMBaseClass, copyProperty) == 48);
static_assert(offsetof(CMBaseClass, setProperty) == 56);
static_assert(offsetof(CMBaseVTable, baseClass) == 8);

// The private CMBaseObjectGetVTable, as it is looked up.
using CMBaseObjectGetVTableFunction = std::function<const CMBaseVTable*(const CMBaseObjectRef&)>;

}  // namespace platform
