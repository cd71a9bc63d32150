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
}

TEST(NettopOutputTest, EmptyHeaderFieldsAreColumnsSoCountsComeFromTheirOwnFields) {
    // Were the empty process column dropped, bytes_in would read the state field.
    const auto rows = parseNettopOutput("time,,interface,state,bytes_in,bytes_out\n1,app.7,eth0,99,10,20\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].rx, 10);
    EXPECT_EQ(rows[0].tx, 20);
}

TEST(NettopOutputTest, MissingColumnsOrLinesGiveNoRows) {
    EXPECT_TRUE(parseNettopOutput("").empty());
    EXPECT_TRUE(parseNettopOutput("\n\n").empty());
    EXPECT_TRUE(parseNettopOutput("time,,bytes_in\n1,a.1,5\n").empty());
    EXPECT_TRUE(parseNettopOutput("time,,bytes_out\n1,a.1,5\n").empty());
    EXPECT_TRUE(parseNettopOutput("time,,interface,state,bytes_in,bytes_out\n").empty());
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
        "t,,bytes_in,bytes_out\n"
        "1,first.1,3,2\n"
        "1,second.2,5,0\n"
        "1,big.3,9223372036854775807,9223372036854775807\n"
        "1,third.4,0,5\n");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].command, "big");
    EXPECT_EQ(rows[1].command, "first");
    EXPECT_EQ(rows[2].command, "second");
    EXPECT_EQ(rows[3].command, "third");
}

TEST(NettopOutputTest, LabelsSplitAtTheLastDotOnlyBeforeAnInteger) {
    EXPECT_EQ(splitProcessLabel("Sync Agent.451"), (ProcessLabel{"Sync Agent", 451}));
    EXPECT_EQ(splitProcessLabel("a.b.c.12"), (ProcessLabel{"a.b.c", 12}));
    EXPECT_EQ(splitProcessLabel(" name .42 "), (ProcessLabel{"name", 42}));
    EXPECT_EQ(splitProcessLabel("neg.-5"), (ProcessLabel{"neg", -5}));
    EXPECT_EQ(splitProcessLabel("plus.+5"), (ProcessLabel{"plus", 5}));
    for (const char* whole : {"foo.", ".123", "worker.x7", "daemon", "big.2147483648", "  .9", "sign.+", "a.1 2"}) {
        const auto split = splitProcessLabel(whole);
        EXPECT_EQ(split.pid, std::nullopt) << whole;
    }
    EXPECT_EQ(splitProcessLabel("worker.x7").name, "worker.x7");
    EXPECT_EQ(splitProcessLabel(" daemon\t").name, "daemon");
    EXPECT_EQ(splitProcessLabel("  .9").name, ".9");
}

}  // namespace
}  // namespace ostrel
