#include "Model/Uuid.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

namespace ostrel {
namespace {

TEST(UuidTest, UpperCaseVersionFourTextAndUnique) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const auto text = makeUuidString();
        ASSERT_EQ(text.size(), 36u);
        for (std::size_t at : {8u, 13u, 18u, 23u}) {
            EXPECT_EQ(text[at], '-');
        }
        for (char c : text) {
            EXPECT_TRUE(c == '-' || std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')) << text;
        }
        EXPECT_EQ(text[14], '4') << text;  // random UUID
        EXPECT_TRUE(seen.insert(text).second);
    }
}

}  // namespace
}  // namespace ostrel
