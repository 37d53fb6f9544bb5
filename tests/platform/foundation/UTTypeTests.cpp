#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/foundation/DeclaredTypes.h"
#include "platform/foundation/UTType.h"

using namespace platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

constexpr const char* exitTimeReadVariable = "QUILLON_TEST_READ_DECLARATIONS_AT_EXIT";

// A worker thread that first needs the type tables while the process exits: run from an exit
// handler registered before the platform layer's statics were made (this file is linked ahead of
// the library), so it runs after exit has destroyed them.
void readDeclarationsAfterStaticsAreGone() {
    const auto& imported = mainBundleTypeDeclarations().imported;
    const bool found = std::any_of(imported.begin(), imported.end(), [](const auto& declaration) {
        const auto& extensions = declaration.tags(kUTTagClassFilenameExtension);
        return std::find(extensions.begin(), extensions.end(), "srt") != extensions.end();
    });
    if (!found) {
        std::_Exit(3);
    }
}

const bool exitTimeReadRegistered = [] {
    return std::getenv(exitTimeReadVariable) != nullptr &&
           std::atexit(readDeclarationsAfterStaticsAreGone) == 0;
}();

TEST(UTTypeDeathTest, TheTablesCanBeBuiltFirstWhileTheProcessExits) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs the program again, from its start, with the handler in place.
    setenv(exitTimeReadVariable, "1", 1);
    EXPECT_EXIT(
        {
            if (!exitTimeReadRegistered) {
                std::_Exit(2);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    unsetenv(exitTimeReadVariable);
}

TEST(UTTypeTest, SubtitleFormatsConformToTheSubtitlesTypeAndItsParents) {
    for (const char* type :
         {"org.quillon.subtitles", "org.quillon.subrip", "org.quillon.advanced-substation-alpha",
          "org.w3.webvtt", "org.quillon.vobsub", "org.quillon.presentation-graphic-stream",
          "org.quillon.sami", "org.matroska.mks"}) {
        EXPECT_TRUE(UTTypeConformsTo(type, "org.quillon.subtitles")) << type;
        EXPECT_TRUE(UTTypeConformsTo(type, "public.data")) << type;
        EXPECT_TRUE(UTTypeConformsTo(type, "public.item")) << type;
    }
    // Through the type it extends.
    EXPECT_TRUE(
        UTTypeConformsTo("org.quillon.advanced-substation-alpha", "org.quillon.substation-alpha"));
    EXPECT_TRUE(UTTypeConformsTo("org.quillon.advanced-substation-alpha", "public.plain-text"));
    EXPECT_FALSE(UTTypeConformsTo("org.quillon.vobsub", "public.text"));
    EXPECT_FALSE(UTTypeConformsTo("org.quillon.subtitles", "org.quillon.subrip"));

    // The system's closed-caption type is no subtitles type of the application's.
    EXPECT_FALSE(UTTypeConformsTo("com.scenarist.closed-caption", "org.quillon.subtitles"));
    EXPECT_FALSE(UTTypeConformsTo("public.plain-text", "org.quillon.subtitles"));
    EXPECT_FALSE(UTTypeConformsTo("org.matroska.mkv", "org.quillon.subtitles"));
}

TEST(UTTypeTest, ConformanceIsReflexiveAndIgnoresTheIdentifiersCase) {
    EXPECT_TRUE(UTTypeConformsTo("org.example.unknown", "org.example.unknown"));
    EXPECT_TRUE(UTTypeConformsTo("ORG.Quillon.SubRip", "org.quillon.SUBTITLES"));
    EXPECT_FALSE(UTTypeConformsTo("org.example.unknown", "public.data"));
}

TEST(UTTypeTest, MediaTypesConformToWhatTheApplicationOpens) {
    std::vector<std::string> opened;
    for (const auto& documentType : mainBundleDocumentTypes()) {
        opened.insert(opened.end(), documentType.contentTypes.begin(),
                      documentType.contentTypes.end());
    }
    ASSERT_FALSE(opened.empty());
    const auto isOpened = [&](const std::string& type) {
        for (const auto& contentType : opened) {
            if (UTTypeConformsTo(type, contentType)) {
                return true;
            }
        }
        return false;
    };
    for (const char* type : {"org.matroska.mkv", "org.matroska.mka", "org.webmproject.webm",
                             "public.mpeg-4", "public.mpeg-4-audio", "public.mp3", "org.xiph.flac",
                             "org.quillon.mov", "public.mpeg-2-transport-stream"}) {
        EXPECT_TRUE(isOpened(type)) << type;
    }
    EXPECT_FALSE(isOpened("org.quillon.subrip"));
    EXPECT_FALSE(isOpened("public.plain-text"));
}

TEST(UTTypeTest, KnowsTheExtensionsOfTheClosedCaptionType) {
    EXPECT_THAT(
        UTTypeCopyAllTagsWithClass("com.scenarist.closed-caption", kUTTagClassFilenameExtension),
        ElementsAre("scc"));
    EXPECT_THAT(UTTypeCopyAllTagsWithClass("com.scenarist.closed-caption", kUTTagClassMIMEType),
                IsEmpty());
    EXPECT_THAT(UTTypeCopyAllTagsWithClass("org.example.unknown", kUTTagClassFilenameExtension),
                IsEmpty());
    EXPECT_THAT(UTTypeCopyAllTagsWithClass("org.quillon.vobsub", kUTTagClassFilenameExtension),
                ElementsAre("idx", "sub"));
}

// Every identifier is declared once across the system and the bundle, and every type it names
// as a parent exists, so that no conformance silently ends at an unknown type.
TEST(UTTypeTest, DeclarationsAreUniqueAndComplete) {
    std::vector<UTTypeDeclaration> all = systemTypeDeclarations();
    const auto& bundle = mainBundleTypeDeclarations();
    all.insert(all.end(), bundle.exported.begin(), bundle.exported.end());
    all.insert(all.end(), bundle.imported.begin(), bundle.imported.end());
    const UTTypeRegistry& registry = UTTypeRegistry::shared();

    std::set<std::string> identifiers;
    for (const auto& declaration : all) {
        EXPECT_TRUE(identifiers.insert(declaration.identifier).second) << declaration.identifier;
        for (const auto& parent : declaration.conformsTo) {
            EXPECT_NE(registry.declaration(parent), nullptr)
                << declaration.identifier << " conforms to undeclared " << parent;
        }
    }
    EXPECT_EQ(bundle.exported.size(), 1U);
    EXPECT_EQ(bundle.exported.front().identifier, "org.quillon.subtitles");
}

TEST(UTTypeRegistryTest, FollowsCyclesAndKeepsTheFirstDeclaration) {
    const UTTypeRegistry registry({
        {"org.example.a", "A", {"org.example.b"}, {{"public.filename-extension", {"a"}}}},
        {"org.example.b", "B", {"org.example.a"}, {}},
        {"org.example.a", "A again", {"public.data"}, {{"public.filename-extension", {"aa"}}}},
    });
    EXPECT_TRUE(registry.conformsTo("org.example.b", "org.example.a"));
    EXPECT_FALSE(registry.conformsTo("org.example.a", "public.data"));
    EXPECT_THAT(registry.allTags("org.example.a", kUTTagClassFilenameExtension),
                UnorderedElementsAre("a"));
}

}  // namespace
