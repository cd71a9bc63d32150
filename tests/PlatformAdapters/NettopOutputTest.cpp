#include <gtest/gtest.h>

#include "PlatformAdapters/NettopOutput.hpp"

namespace ostrel {
namespace {

// The tool's own shape: the process column has an empty name.
constexpr const char* recorded =
    "time,,interface,state,bytes_in,bytes_out,rx_dupe,rx_ooo,re-tx,rtt_avg,rcvsize,tx_win,tc_class,tc_mgt,cc_algo,P,C,"
    "R,"
    "W,arch,\n"
    "12:34:56.789012,Safari.412,,,50321,1203,0,0,0,,,,,,,,,,,,\n"
    "12:34:56.789112,Sync Agent.451,,,200,52000,0,0,0,,,,,,,,,,,,\n"
    "12:34:56.789212,mDNSResponder.198,,,0,0,0,0,0,,,,,,,,,,,,\n"
    "12:34:56.789312,kernel_task.0,,,7,7,,,,,,,,,,,,,,,\n";

TEST(NettopOutputTest, RecordedOutputGivesRowsLargestFirstWithoutIdleProcesses) {
    const std::vector<NettopProcessRow> expected{
        {"Sync Agent", 451, 200, 52000},
        {"Safari", 412, 50321, 1203},
        {"kernel_task", 0, 7, 7},
    };
    EXPECT_EQ(parseNettopOutput(recorded), expected);
    // Were the empty process column dropped, bytes_in would read the state field.
    EXPECT_EQ(parseNettopOutput("time,,interface,state,bytes_in,bytes_out\n1,app.7,eth0,99,10,20\n"),
              (std::vector<NettopProcessRow>{{"app", 7, 10, 20}}));
    for (const char* useless : {"", "\n\n", "time,,bytes_in\n1,a.1,5\n", "time,,bytes_out\n1,a.1,5\n"}) {
        EXPECT_TRUE(parseNettopOutput(useless).empty()) << useless;
    }
}

TEST(NettopOutputTest, UnreadableLinesAreSkippedOneByOne) {
    const char* text =
        "time,,bytes_in,bytes_out\n"
        "lonely\n"            // one field
        "1,short.1,5\n"       // no send field
        "1,,5,5\n"            // no label
        "1,  ,5,5\n"          // blank label
        "1,Processes:,5,5\n"  // a summary line
        "1,PROCESSES:,5,5\n"
        "1,bad.2,12a,0\n"  // both counts 0 once '12a' reads as 0
        "1,half.3,12a,4\n"
        "1,signs.4,+8,-3\n"
        "1,twosigns.8,+-5,0\n"
        "1,blanks.5, 9 ,1 2\n"
        "1,huge.6,9223372036854775808,1\n"
        "\n"
        "1,ok.7,1,1\n";
    const std::vector<NettopProcessRow> expected{
        {"blanks", 5, 9, 0}, {"signs", 4, 8, -3}, {"half", 3, 0, 4}, {"ok", 7, 1, 1}, {"huge", 6, 0, 1},
    };
    EXPECT_EQ(parseNettopOutput(text), expected);
}

TEST(NettopOutputTest, EqualSumsKeepTheirOrderAndHugeSumsDoNotOverflow) {
    const auto rows = parseNettopOutput(
        "t,,bytes_in,bytes_out\n1,first.1,3,2\n1,second.2,5,0\n"
        "1,big.3,9223372036854775807,9223372036854775807\n1,third.4,0,5\n");
    std::vector<std::string> order;
    for (const auto& row : rows) order.push_back(row.command);
    EXPECT_EQ(order, (std::vector<std::string>{"big", "first", "second", "third"}));
}

TEST(NettopOutputTest, LabelsSplitAtTheLastDotOnlyBeforeAnInteger) {
    EXPECT_EQ(splitProcessLabel("Sync Agent.451"), (ProcessLabel{"Sync Agent", 451}));
    EXPECT_EQ(splitProcessLabel("a.b.c.12"), (ProcessLabel{"a.b.c", 12}));
    EXPECT_EQ(splitProcessLabel(" name .42 "), (ProcessLabel{"name", 42}));
    EXPECT_EQ(splitProcessLabel("neg.-5"), (ProcessLabel{"neg", -5}));
    EXPECT_EQ(splitProcessLabel("plus.+5"), (ProcessLabel{"plus", 5}));
    for (const char* whole : {"foo.", ".123", "worker.x7", "daemon", "big.2147483648", "sign.+", "a.1 2", "x.+-5"}) {
        EXPECT_EQ(splitProcessLabel(whole), (ProcessLabel{whole, std::nullopt})) << whole;
    }
    EXPECT_EQ(splitProcessLabel(" daemon\t"), (ProcessLabel{"daemon", std::nullopt}));
    EXPECT_EQ(splitProcessLabel("  .9"), (ProcessLabel{".9", std::nullopt}));
}

}  // namespace
}  // namespace ostrel
