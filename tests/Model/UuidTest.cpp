#include "Model/Uuid.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace ostrel {
namespace {

TEST(UuidTest, UpperCaseRandomUuidTextsAreUnique) {
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const auto text = makeUuidString();
        EXPECT_TRUE(std::regex_match(text, form)) << text;
        EXPECT_TRUE(seen.insert(text).second);
    }
}

}  // namespace
}  // namespace ostrel
