// The library's dynamic symbol table holds the four entry points and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> exportedSymbols(const std::string& library) {
    const std::string command = std::string(OSTREL_NM_PATH) + " -D --defined-only '" + library + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    EXPECT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[1024];
    while (pipe && std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (name.empty()) {  // symbols without address print two fields
            name = type;
            type = address;
        }
        // Version nodes and other absolute symbols (type A) are not code or data of the library.
        if (type == "A" || type == "a") continue;
        names.insert(name.substr(0, name.find('@')));
    }
    return names;
}

TEST(CoreExportsTest, ExportsExactlyTheFourEntryPoints) {
    const std::set<std::string> expected = {"ol_core_aggregate_usage", "ol_core_rank_entities", "ol_core_evaluate_thresholds",
                                            "ol_core_free_string"};
    EXPECT_EQ(exportedSymbols(OSTREL_CORE_LIBRARY_PATH), expected);
}

}  // namespace
