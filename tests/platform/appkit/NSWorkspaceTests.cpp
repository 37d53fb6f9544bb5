#include <gtest/gtest.h>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWorkspace.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

TEST(NSWorkspaceTest, EveryFileAndTypeHasAnIconEvenWithoutAnIconTheme) {
    auto& workspace = NSWorkspace::shared();
    for (const auto& image :
         {workspace.iconForFile("/nonexistent/Film.mkv"), workspace.iconForFileType("mkv"),
          workspace.iconForFileType("public.audiovisual-content"), workspace.iconForFileType("")}) {
        ASSERT_TRUE(image);
        EXPECT_GT(image->size().width, 0);
    }
}

TEST(NSWorkspaceTest, OpeningAnAddressGoesThroughTheOpener) {
    auto& workspace = NSWorkspace::shared();
    std::vector<std::string> opened;
    workspace.setURLOpenerForTesting([&](const URL& url) {
        opened.push_back(url.absoluteString());
        return true;
    });
    EXPECT_TRUE(workspace.openURL(*URL::fromString("https://example.org/faq/")));
    workspace.setURLOpenerForTesting(nullptr);
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/faq/"});
}

}  // namespace
}  // namespace platform
