// The library's dynamic symbol table holds the four entry points and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(CoreExportsTest, ExportsExactlyTheFourEntryPoints) {
    const std::string command =
        std::string(OSTREL_NM_PATH) + " -D --defined-only --format=posix '" + OSTREL_CORE_LIBRARY_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);  // name type [value size]
        std::string name, type;
        fields >> name >> type;
        // Version nodes and other absolute symbols (type A) are not code or data of the library.
        if (type != "A" && type != "a") names.insert(name.substr(0, name.find('@')));
    }
    const std::set<std::string> expected = {"ol_core_aggregate_usage", "ol_core_rank_entities",
                                            "ol_core_evaluate_thresholds", "ol_core_free_string"};
    EXPECT_EQ(names, expected);
}

}  // namespace
