#pragma once

#include <any>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Loaded code images as the dynamic loader sees them, for function interposition. An image that
// calls another image's function does so through its own import table (resolve), so that an
// interposition made for that image reaches its calls and nobody else's.
//
// Images of this system's libraries are not modelled; stand-in images (tests) register here.
class DynamicImage {
public:
    DynamicImage(std::string path, std::vector<const void*> exportedAddresses);

    const std::string& path() const { return path_; }
    bool containsAddress(const void* address) const;

    // The function this image's calls of `function` reach: its replacement when interposed.
    template <typename Function>
    Function* resolve(Function* function) const {
        return reinterpret_cast<Function*>(
            const_cast<void*>(resolveAddress(reinterpret_cast<const void*>(function))));
    }

    void interpose(const void* replacee, const void* replacement);

private:
    const void* resolveAddress(const void* function) const;

    const std::string path_;
    const std::vector<const void*> exportedAddresses_;
    mutable std::mutex mutex_;
    std::map<const void*, const void*> interposed_;
};

using mach_header = DynamicImage;

// Registers an image with the loader while the returned token lives.
std::shared_ptr<void> registerDynamicImage(const DynamicImage* image);

// dladdr: the image that holds an address.
struct Dl_info {
    std::string dli_fname;
    const mach_header* dli_fbase = nullptr;
};
// Non-zero when a registered image holds the address.
int dladdr(const void* address, Dl_info* info);

// The loader's interposition for one image (dyld_dynamic_interpose).
struct dyld_interpose_tuple {
    const void* replacement;
    const void* replacee;
};
void dyld_dynamic_interpose_implementation(const mach_header* image,
                                           const dyld_interpose_tuple array[], std::size_t count);
using DyldDynamicInterposeFunction =
    std::function<void(const mach_header*, const dyld_interpose_tuple*, std::size_t)>;

// The local architecture (NXGetLocalArchInfo of the Mach-O loader; Linux has none).
using cpu_type_t = std::int32_t;
inline constexpr cpu_type_t CPU_ARCH_ABI64 = 0x01000000;
inline constexpr cpu_type_t CPU_TYPE_X86_64 = 7 | CPU_ARCH_ABI64;
inline constexpr cpu_type_t CPU_TYPE_ARM64 = 12 | CPU_ARCH_ABI64;
struct NXArchInfo {
    const char* name;
    cpu_type_t cputype;
    std::int32_t cpusubtype;
    const char* description;
};
using NXGetLocalArchInfoFunction = std::function<const NXArchInfo*()>;

// A dictionary with object keys (compared by identity) and values of any type: the options
// dictionaries of the private media pipeline.
struct CFMutableObjectDictionary {
    std::map<const void*, std::any> values;
};
// Sets the key's value. The stand-in image of a media pipeline calls it through its import table.
void CFDictionarySetValue(CFMutableObjectDictionary* dictionary, const void* key,
                          const std::any& value);
using CFDictionarySetValueFunction = void (*)(CFMutableObjectDictionary*, const void*,
                                              const std::any&);

}  // namespace platform
