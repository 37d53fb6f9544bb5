#include <gtest/gtest.h>

#include <unordered_set>

#include "platform/foundation/UUID.h"

using namespace platform;

namespace {

// 8-4-4-4-12 upper-case hexadecimal digits, version 4, RFC 4122 variant.
bool isCanonicalVersion4(const std::string& text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        char c = text[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return text[14] == '4' && std::string_view("89AB").find(text[19]) != std::string_view::npos;
}

}  // namespace

TEST(UUID, RandomUUIDsAreVersion4InUpperCaseCanonicalForm) {
    std::unordered_set<UUID> seen;
    for (int i = 0; i < 1000; ++i) {
        UUID uuid;
        ASSERT_TRUE(isCanonicalVersion4(uuid.uuidString())) << uuid.uuidString();
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(UUID, ParsesEitherCaseAndRejectsOtherForms) {
    auto uuid = UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(uuid);
    EXPECT_EQ(uuid->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(uuid, UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"));
    EXPECT_EQ(uuid->bytes()[0], 0xE6);
    EXPECT_EQ(uuid->bytes()[15], 0x5F);

    for (auto bad :
         {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
          "E621E1F8-C36C-495A-93FC-0C247A3E6E5G", "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}",
          "E621E1F8-C36C-495A93FC--0C247A3E6E5F"}) {
        EXPECT_FALSE(UUID::fromString(bad)) << bad;
    }
}
