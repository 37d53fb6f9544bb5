#include "media-player/renderers/QLAudioSpatializationInterposition.h"

#include <mutex>
#include <string>

#include "media-player/decoders/audio/AudioProperties.h"
#include "platform/coremedia/CMFormatDescription.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/private-interfaces/DynamicSymbols.h"
#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"

namespace quillon {

namespace {

using platform::DynamicSymbols;

// The private pipeline entry point, only used to find its image.
using FigAudioQueueRenderPipelineCreateFunction = void (*)();

// The option keys the hook compares by identity and sets. Written once, while interposing,
// before the hook can run.
struct HookKeys {
    std::mutex mutex;
    std::shared_ptr<const std::string> formatDescription;
    std::shared_ptr<const std::string> enableSpatialization;
};

HookKeys& hookKeys() {
    static auto* keys = new HookKeys();
    return *keys;
}

bool isSpatializationRequested(const platform::CMFormatDescriptionRef& description) {
    const platform::CFValue* value =
        platform::CMFormatDescriptionGetExtension(description, QLEnableSpatialization);
    if (value == nullptr) {
        return false;
    }
    if (const auto* flag = std::get_if<bool>(value)) {
        return *flag;
    }
    if (const auto* number = std::get_if<std::int64_t>(value)) {
        return *number != 0;
    }
    return false;
}

}  // namespace

void QLCFDictionarySetValueSpatializationHook(platform::CFMutableObjectDictionary* dictionary,
                                              const void* key, const std::any& value) {
    platform::CFDictionarySetValue(dictionary, key, value);
    std::shared_ptr<const std::string> formatDescriptionKey;
    std::shared_ptr<const std::string> enableSpatializationKey;
    {
        auto& keys = hookKeys();
        std::lock_guard lock(keys.mutex);
        formatDescriptionKey = keys.formatDescription;
        enableSpatializationKey = keys.enableSpatialization;
    }
    if (!formatDescriptionKey || key != formatDescriptionKey.get()) {
        return;
    }
    const auto* description = std::any_cast<platform::CMFormatDescriptionRef>(&value);
    if (description == nullptr || !*description) {
        platform::logLine(
            platform::LogLevel::debug,
            "`CFDictionarySetValue` called with `kFigRenderPipelineOption_FormatDescription` but "
            "value is not a `CMFormatDescription` instance. Not adding "
            "`kFigRenderPipelineOption_EnableSpatialization` to the dictionary.");
        return;
    }
    if (isSpatializationRequested(*description)) {
        platform::logLine(
            platform::LogLevel::debug,
            "`CFDictionarySetValue` called with `kFigRenderPipelineOption_FormatDescription` and "
            "spatialization was requested in the format description. Adding "
            "`kFigRenderPipelineOption_EnableSpatialization` to the dictionary.");
        platform::CFDictionarySetValue(dictionary, enableSpatializationKey.get(), std::any(true));
    } else {
        platform::logLine(
            platform::LogLevel::debug,
            "`CFDictionarySetValue` called with `kFigRenderPipelineOption_FormatDescription` but "
            "spatialization was not requested in the format description. Not adding "
            "`kFigRenderPipelineOption_EnableSpatialization` to the dictionary.");
    }
}

void QLInterposeAudioSpatialization() {
    const auto processInfo = platform::ProcessInfo::processInfo();
    if (!processInfo->isMacOSInRange({11, 4, 0}, {12, 0, 0})) {
        return;
    }
    const auto getLocalArchInfo =
        DynamicSymbols::lookup<platform::NXGetLocalArchInfoFunction>("NXGetLocalArchInfo");
    const platform::NXArchInfo* architecture = getLocalArchInfo ? (*getLocalArchInfo)() : nullptr;
    if (architecture == nullptr) {
        platform::logLine(platform::LogLevel::debug,
                          "Failed to retrieve information about the computer architecture.");
        return;
    }
    if (architecture->cputype == platform::CPU_TYPE_ARM64) {
        return;
    }
    const auto pipelineCreate = DynamicSymbols::lookup<FigAudioQueueRenderPipelineCreateFunction>(
        "FigAudioQueueRenderPipelineCreate");
    if (!pipelineCreate) {
        QLLogUnavailablePrivateAPISymbol("FigAudioQueueRenderPipelineCreate");
        return;
    }
    const auto formatDescriptionKey =
        DynamicSymbols::lookup<std::string>("kFigRenderPipelineOption_FormatDescription");
    if (!formatDescriptionKey) {
        QLLogUnavailablePrivateAPISymbol("kFigRenderPipelineOption_FormatDescription");
        return;
    }
    const auto enableSpatializationKey =
        DynamicSymbols::lookup<std::string>("kFigRenderPipelineOption_EnableSpatialization");
    if (!enableSpatializationKey) {
        QLLogUnavailablePrivateAPISymbol("kFigRenderPipelineOption_EnableSpatialization");
        return;
    }
    const auto interpose =
        DynamicSymbols::lookup<platform::DyldDynamicInterposeFunction>("dyld_dynamic_interpose");
    if (!interpose) {
        QLLogUnavailablePrivateAPISymbol("dyld_dynamic_interpose");
        return;
    }
    platform::Dl_info imageInfo;
    if (platform::dladdr(reinterpret_cast<const void*>(*pipelineCreate), &imageInfo) == 0 ||
        imageInfo.dli_fbase == nullptr) {
        platform::logLine(platform::LogLevel::debug,
                          "Failed to retrieve the `MediaToolbox` image info.");
        return;
    }
    {
        auto& keys = hookKeys();
        std::lock_guard lock(keys.mutex);
        keys.formatDescription = formatDescriptionKey;
        keys.enableSpatialization = enableSpatializationKey;
    }
    const platform::dyld_interpose_tuple tuple{
        reinterpret_cast<const void*>(&QLCFDictionarySetValueSpatializationHook),
        reinterpret_cast<const void*>(
            static_cast<platform::CFDictionarySetValueFunction>(&platform::CFDictionarySetValue))};
    (*interpose)(imageInfo.dli_fbase, &tuple, 1);
    platform::logLine(
        platform::LogLevel::debug,
        "Successfully interposed `CFDictionarySetValue` in the `MediaToolbox` image.");
}

void QLInterposeAudioSpatializationOnce() {
    static std::once_flag once;
    std::call_once(once, [] { QLInterposeAudioSpatialization(); });
}

namespace {

// Made when the program is loaded, before the application starts.
[[maybe_unused]] const bool interposedAtLoad = [] {
    QLInterposeAudioSpatializationOnce();
    return true;
}();

}  // namespace

}  // namespace quillon
