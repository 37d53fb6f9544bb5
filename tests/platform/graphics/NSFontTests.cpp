#include <gtest/gtest.h>

#include <QFontDatabase>

#include "support/GuiApplicationEnvironment.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSFontManager.h"

using namespace platform;

namespace {

// A family that is certainly installed: whatever the desktop uses.
std::string systemFamily() {
    return NSFont::systemFontOfSize(12).familyName();
}

}  // namespace

TEST(NSFontTest, UnknownFamiliesGiveNoFontAndTheFallbackGivesTheSystemFont) {
    EXPECT_EQ(NSFont::fontWithName("No Such Family Anywhere", 12), std::nullopt);
    EXPECT_EQ(NSFont::fontWithName("", 12), std::nullopt);

    const NSFont fallback = NSFont::fontWithNameOrSystemFont("No Such Family Anywhere", 12);
    EXPECT_EQ(fallback, NSFont::systemFontOfSize(12));
    EXPECT_EQ(fallback.pointSize(), 12);

    const std::optional<NSFont> helvetica = NSFont::fontWithName("Helvetica", 12);
    const NSFont chain = NSFont::fontWithNameOrSystemFont("Helvetica", 12);
    EXPECT_EQ(chain, helvetica ? *helvetica : NSFont::systemFontOfSize(12));
}

TEST(NSFontTest, NamesResolveToInstalledFamiliesAndFaces) {
    const std::string family = systemFamily();
    const auto regular = NSFont::fontWithName(family, 20);
    ASSERT_TRUE(regular.has_value());
    EXPECT_EQ(regular->familyName(), family);
    EXPECT_FALSE(regular->isBold());
    EXPECT_EQ(regular->pointSize(), 20);

    // Case does not matter; a trailing style names the face.
    std::string upper = family;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(NSFont::fontWithName(upper, 20), regular);
    const auto boldItalic = NSFont::fontWithName(family + " Bold Italic", 20);
    ASSERT_TRUE(boldItalic.has_value());
    EXPECT_TRUE(boldItalic->isBold());
    EXPECT_TRUE(boldItalic->isItalic());
    EXPECT_EQ(boldItalic->familyName(), family);
    EXPECT_EQ(NSFont::fontWithName(boldItalic->fontName(), 20), boldItalic);
    EXPECT_EQ(NSFont::fontWithName(family + "-Bold", 20)->isBold(), true);
    EXPECT_EQ(NSFont::fontWithName(family + " Nonsense", 20), std::nullopt);

    EXPECT_TRUE(NSFont::boldSystemFontOfSize(12).isBold());
    const auto described = NSFont::fontWithDescriptor(boldItalic->fontDescriptor(), 0);
    EXPECT_EQ(described, boldItalic);
}

TEST(NSFontManagerTest, TraitConversionAddsAndRemovesBoldAndItalic) {
    const NSFontManager& manager = NSFontManager::sharedFontManager();
    const NSFont regular = NSFont::systemFontOfSize(12);
    ASSERT_EQ(manager.traitsOfFont(regular), 0u);

    const NSFont bold = manager.convertFont(regular, NSBoldFontMask);
    const NSFont boldItalic = manager.convertFont(bold, NSItalicFontMask);
    EXPECT_EQ(manager.traitsOfFont(boldItalic), NSBoldFontMask | NSItalicFontMask);
    EXPECT_EQ(manager.traitsOfFont(manager.convertFont(boldItalic, NSUnboldFontMask)),
              NSItalicFontMask);
    EXPECT_EQ(manager.traitsOfFont(manager.convertFont(boldItalic, NSUnitalicFontMask)),
              NSBoldFontMask);
    EXPECT_EQ(manager.convertFontToNotHaveTrait(boldItalic, NSBoldFontMask | NSItalicFontMask),
              regular);
    // Bits other than bold and italic change nothing.
    EXPECT_EQ(manager.convertFont(regular, NSFixedPitchFontMask), regular);

    const NSFont larger = manager.convertFontToSize(boldItalic, 30);
    EXPECT_EQ(larger.pointSize(), 30);
    EXPECT_EQ(manager.traitsOfFont(larger), NSBoldFontMask | NSItalicFontMask);
    EXPECT_EQ(manager.convertFontToFace(regular, "No Such Family Anywhere"), regular);
}
