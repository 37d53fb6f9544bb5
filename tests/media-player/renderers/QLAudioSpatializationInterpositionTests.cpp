#include <gtest/gtest.h>

#include <list>
#include <optional>
#include <string>

#include "media-player/renderers/QLAudioSpatializationInterposition.h"
#include "platform/coremedia/CMFormatDescription.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/private-interfaces/DynamicSymbols.h"

namespace {

using namespace platform;

const std::string successLine =
    "Successfully interposed `CFDictionarySetValue` in the `MediaToolbox` image.";

// The options dictionary the stand-in pipeline fills; its image calls CFDictionarySetValue through
// its own import table, so only an interposition for that image reaches it.
CFMutableObjectDictionary* pipelineOptions = nullptr;
const DynamicImage* mediaToolboxImage = nullptr;
const void* formatDescriptionKey = nullptr;
std::any formatDescriptionValue;

void FigAudioQueueRenderPipelineCreate() {
    mediaToolboxImage->resolve(static_cast<CFDictionarySetValueFunction>(&CFDictionarySetValue))(
        pipelineOptions, formatDescriptionKey, formatDescriptionValue);
}

class SpatializationInterpositionTest : public ::testing::Test {
protected:
    using System = ProcessInfo::System;

    static System macOS(std::int64_t major, std::int64_t minor) {
        return System{OperatingSystem::macOS, {major, minor, 0}, "macOS", false};
    }

    void SetUp() override {
        mediaToolboxImage = &image;
        pipelineOptions = &options;
    }

    // Every symbol the interposition needs, on an Intel processor.
    void provideAllSymbols() {
        symbols.emplace_back("NXGetLocalArchInfo",
                             NXGetLocalArchInfoFunction([this] { return &arch; }));
        symbols.emplace_back("FigAudioQueueRenderPipelineCreate",
                             static_cast<void (*)()>(&FigAudioQueueRenderPipelineCreate));
        symbols.emplace_back("kFigRenderPipelineOption_FormatDescription",
                             std::string("FormatDescription"));
        symbols.emplace_back("kFigRenderPipelineOption_EnableSpatialization",
                             std::string("EnableSpatialization"));
        symbols.emplace_back("dyld_dynamic_interpose",
                             DyldDynamicInterposeFunction(&dyld_dynamic_interpose_implementation));
        formatDescriptionKey =
            DynamicSymbols::lookup<std::string>("kFigRenderPipelineOption_FormatDescription").get();
    }

    const void* enableSpatializationKey() const {
        return DynamicSymbols::lookup<std::string>("kFigRenderPipelineOption_EnableSpatialization")
            .get();
    }

    static CMFormatDescriptionRef descriptionRequesting(std::optional<bool> spatialization) {
        CFDictionaryRef extensions;
        if (spatialization) {
            extensions = std::make_shared<CFDictionary>(
                CFDictionary{{"QLEnableSpatialization", CFValue(*spatialization)}});
        }
        CMFormatDescriptionRef description;
        EXPECT_EQ(CMFormatDescriptionCreate(fourCharCode("soun"), fourCharCode("lpcm"), extensions,
                                            &description),
                  noErr);
        return description;
    }

    std::size_t pipelineOptionCountAfterCreating(std::any value) {
        options.values.clear();
        formatDescriptionValue = std::move(value);
        FigAudioQueueRenderPipelineCreate();
        return options.values.size();
    }

    DynamicImage image{"/System/Library/Frameworks/MediaToolbox.framework/MediaToolbox",
                       {reinterpret_cast<const void*>(&FigAudioQueueRenderPipelineCreate)}};
    std::shared_ptr<void> registration = registerDynamicImage(&image);
    CFMutableObjectDictionary options;
    NXArchInfo arch{"x86_64", CPU_TYPE_X86_64, 3, "Intel x86-64h Haswell"};
    std::list<DynamicSymbols::ScopedSymbol> symbols;
};

TEST_F(SpatializationInterpositionTest, DoesNothingOnThisSystem) {
    provideAllSymbols();
    ScopedLogCapture log;
    quillon::QLInterposeAudioSpatialization();
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(pipelineOptionCountAfterCreating(descriptionRequesting(true)), 1u);
}

TEST_F(SpatializationInterpositionTest, DoesNothingOutsideItsVersionsOrOnArm) {
    provideAllSymbols();
    ScopedLogCapture log;
    for (const auto& system : {macOS(12, 0), macOS(11, 3), macOS(10, 15)}) {
        ProcessInfo::ScopedOverride version(system);
        quillon::QLInterposeAudioSpatialization();
    }
    arch.cputype = CPU_TYPE_ARM64;
    {
        ProcessInfo::ScopedOverride version(macOS(11, 5));
        quillon::QLInterposeAudioSpatialization();
    }
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(pipelineOptionCountAfterCreating(descriptionRequesting(true)), 1u);
}

TEST_F(SpatializationInterpositionTest, AddsTheOptionWhenTheFormatAsksForIt) {
    provideAllSymbols();
    ProcessInfo::ScopedOverride version(macOS(11, 4));
    ScopedLogCapture log;
    quillon::QLInterposeAudioSpatialization();
    EXPECT_EQ(log.lines(), std::vector<std::string>{successLine});

    EXPECT_EQ(pipelineOptionCountAfterCreating(descriptionRequesting(true)), 2u);
    ASSERT_EQ(options.values.count(enableSpatializationKey()), 1u);
    EXPECT_TRUE(std::any_cast<bool>(options.values.at(enableSpatializationKey())));
    EXPECT_TRUE(
        log.contains("and spatialization was requested in the format description. Adding "
                     "`kFigRenderPipelineOption_EnableSpatialization` to the dictionary."));

    EXPECT_EQ(pipelineOptionCountAfterCreating(descriptionRequesting(false)), 1u);
    EXPECT_EQ(pipelineOptionCountAfterCreating(descriptionRequesting(std::nullopt)), 1u);
    EXPECT_TRUE(log.contains("but spatialization was not requested in the format description."));
    EXPECT_EQ(pipelineOptionCountAfterCreating(std::string("not a description")), 1u);
    EXPECT_TRUE(log.contains("but value is not a `CMFormatDescription` instance."));

    // Other keys pass through untouched, and other images are not affected.
    options.values.clear();
    image.resolve(static_cast<CFDictionarySetValueFunction>(&CFDictionarySetValue))(
        &options, &successLine, std::any(descriptionRequesting(true)));
    EXPECT_EQ(options.values.size(), 1u);
    DynamicImage other{"/usr/lib/libother.dylib", {}};
    EXPECT_EQ(other.resolve(static_cast<CFDictionarySetValueFunction>(&CFDictionarySetValue)),
              &CFDictionarySetValue);
}

TEST_F(SpatializationInterpositionTest, StopsAtTheFirstMissingPiece) {
    ProcessInfo::ScopedOverride version(macOS(11, 5));
    {
        ScopedLogCapture log;
        quillon::QLInterposeAudioSpatialization();
        EXPECT_EQ(log.lines(),
                  std::vector<std::string>{
                      "Failed to retrieve information about the computer architecture."});
    }
    symbols.emplace_back("NXGetLocalArchInfo",
                         NXGetLocalArchInfoFunction([this] { return &arch; }));
    {
        ScopedLogCapture log;
        quillon::QLInterposeAudioSpatialization();
        EXPECT_EQ(log.lines(),
                  std::vector<std::string>{
                      "Private API symbol FigAudioQueueRenderPipelineCreate is unavailable."});
    }
    symbols.emplace_back("FigAudioQueueRenderPipelineCreate",
                         static_cast<void (*)()>(&FigAudioQueueRenderPipelineCreate));
    symbols.emplace_back("kFigRenderPipelineOption_FormatDescription",
                         std::string("FormatDescription"));
    symbols.emplace_back("kFigRenderPipelineOption_EnableSpatialization",
                         std::string("EnableSpatialization"));
    {
        ScopedLogCapture log;
        quillon::QLInterposeAudioSpatialization();
        EXPECT_EQ(log.lines(), std::vector<std::string>{
                                   "Private API symbol dyld_dynamic_interpose is unavailable."});
    }
    symbols.emplace_back("dyld_dynamic_interpose",
                         DyldDynamicInterposeFunction(&dyld_dynamic_interpose_implementation));
    registration.reset();
    {
        ScopedLogCapture log;
        quillon::QLInterposeAudioSpatialization();
        EXPECT_EQ(log.lines(),
                  std::vector<std::string>{"Failed to retrieve the `MediaToolbox` image info."});
    }
}

}  // namespace
