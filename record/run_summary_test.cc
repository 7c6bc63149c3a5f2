// What telegram-record says of its run, word for word: the summary, the
// status line and the live statistics.
#include "record/run_summary.h"

#include <gtest/gtest.h>

namespace {

TEST(RunSummary, NumbersAreGroupedAndCountedInWords) {
  EXPECT_EQ(Grouped(0), "0");
  EXPECT_EQ(Grouped(400), "400");
  EXPECT_EQ(Grouped(1000), "1,000");
  EXPECT_EQ(Grouped(100000), "100,000");
  EXPECT_EQ(Grouped(1234567), "1,234,567");
  EXPECT_EQ(Grouped(18446744073709551615u), "18,446,744,073,709,551,615");
  EXPECT_EQ(Counted(1, "telegram", "telegrams"), "1 telegram");
  EXPECT_EQ(Counted(0, "telegram", "telegrams"), "0 telegrams");
  EXPECT_EQ(Counted(2000, "telegram", "telegrams"), "2,000 telegrams");
}

TEST(RunSummary, TheSummarySaysEachCountInItsPlace) {
  RunNumbers run;
  run.telegrams = 1;
  run.bytes = 1;
  run.seconds = 2.0;
  run.drops_known = true;
  EXPECT_EQ(SummaryLine(run),
            "1 telegram (1 byte) in 2.000 s, 0 telegrams/s, 0.0 Mbit/s; dropped by the system: 0; sequence: 0 "
            "blocks and 0 scans missing, 0 more blocks inferred missing at scan ends, 0 repeated, 0 out of order");
  // The rate is over the run's own time, however few telegrams came.
  run.telegrams = 2;
  run.bytes = 2500000;
  run.seconds = 4.0;
  run.dropped = 3;
  run.dropped_system_wide = true;
  run.sequence.missing_blocks = 2;
  run.sequence.missing_scans = 1;
  run.sequence.missing_tail_blocks = 1;
  run.sequence.repeated = 4;
  run.sequence.reordered = 5;
  run.sequence.restarts = 1;
  run.sequence.outliers = 2;
  EXPECT_EQ(SummaryLine(run),
            "2 telegrams (2,500,000 bytes) in 4.000 s, 0 telegrams/s, 5.0 Mbit/s; dropped by the system (all UDP, "
            "not this port alone): 3; sequence: 2 blocks and 1 scan missing, 1 more block inferred missing at scan "
            "ends, 4 repeated, 5 out of order, 1 restart of the numbering, 2 outliers (a number no later telegram "
            "confirmed)");
  // Where the system keeps no count, none is claimed.
  run.drops_known = false;
  run.sequence = {};
  run.telegrams = 1000;
  run.bytes = 56500;
  run.seconds = 0.5;
  EXPECT_EQ(SummaryLine(run),
            "1,000 telegrams (56,500 bytes) in 0.500 s, 2000 telegrams/s, 0.9 Mbit/s; sequence: 0 blocks and 0 "
            "scans missing, 0 more blocks inferred missing at scan ends, 0 repeated, 0 out of order");
}

TEST(RunSummary, SeveralSourcesAreSaidEachApartThenTogether) {
  SourceNumbers one;
  one.source = SourceAddress{0xC0A80A07, 2112};
  one.telegrams = 1;
  one.bytes = 125000;
  one.sequence.missing_blocks = 1;
  one.sequence.restarts = 2;
  EXPECT_EQ(SourceLine(one, 1.0),
            "from 192.168.10.7:2112: 1 telegram (125,000 bytes) in 1.000 s, 1 telegrams/s, 1.0 Mbit/s; sequence: 1 "
            "block and 0 scans missing, 0 more blocks inferred missing at scan ends, 0 repeated, 0 out of order, 2 "
            "restarts of the numbering");
  SourceNumbers others;
  others.others = true;
  others.sources = 1;
  EXPECT_EQ(SourceLine(others, 1.0).substr(0, 53), "from 1 more source (counted together): 0 telegrams (0");
  others.sources = 4096;
  others.at_least = true;
  EXPECT_EQ(SourceLine(others, 1.0).substr(0, 56), "from at least 4,096 more sources (counted together): 0 t");
  RunNumbers run;
  run.telegrams = 3;
  run.bytes = 3;
  run.seconds = 1.0;
  run.sources_seen = 2;
  EXPECT_EQ(SummaryLine(run).substr(0, 33), "from 2 sources: 3 telegrams (3 by");
  run.ignored = 5;
  EXPECT_EQ(StatusLine(run), "3 telegrams, 0.0 MB, 0 missing, 2 sources, 5 from other sources ignored");
}

TEST(RunSummary, TheStatusLineSaysWhatWasNotWritten) {
  RunNumbers run;
  run.telegrams = 12345;
  run.bytes = 6700000;
  run.sequence.missing_blocks = 2;
  run.sequence.missing_scans = 1;
  EXPECT_EQ(StatusLine(run), "12,345 telegrams, 6.7 MB, 3 missing");
  run.drops_known = true;
  run.dropped = 4;
  run.not_written = 77;
  EXPECT_EQ(StatusLine(run), "12,345 telegrams, 6.7 MB, 3 missing, 4 dropped, 77 not written to standard output");
}

TEST(RunSummary, TheStatisticsAreOneJsonObject) {
  RunNumbers run;
  run.telegrams = 10;
  run.bytes = 1000;
  run.seconds = 2.5;
  run.drops_known = true;
  run.sequence.block_telegrams = 8;
  run.sequence.missing_scans = 1;
  run.not_written = 3;
  const StatsInterval interval{1796905239316329796, 0.5, 4, 250000};
  EXPECT_EQ(StatsJson(run, interval, "C:\\runs\\\"a\".pcapng", 10, false),
            "{\"time\":\"2026-12-10T12:20:39.316329796Z\",\"time_ns\":1796905239316329796,\"seconds\":2.500,"
            "\"telegrams\":10,\"bytes\":1000,\"telegrams_per_s\":8.0,\"mbit_per_s\":4.000,\"dropped_by_system\":0,"
            "\"dropped_system_wide\":false,\"sequence\":{\"block_telegrams\":8,\"missing_blocks\":0,"
            "\"missing_scans\":1,\"missing_tail_blocks\":0,\"repeated\":0,\"reordered\":0,\"restarts\":0,"
            "\"outliers\":0},\"sources\":[],\"ignored\":0,\"not_written_to_stdout\":3,\"recording\":\"C:\\\\runs\\\\\\\"a\\\".pcapng\","
            "\"recorded\":10,\"final\":false}");
  // Each source with its own counts; the others beyond the bound without
  // an address.
  SourceNumbers one;
  one.source = SourceAddress{0x0A000001, 5000};
  one.telegrams = 6;
  one.bytes = 600;
  one.sequence.missing_scans = 1;
  SourceNumbers others;
  others.others = true;
  others.sources = 3;
  others.telegrams = 4;
  run.sources = {one, others};
  run.ignored = 9;
  EXPECT_NE(StatsJson(run, interval, "", 0, true)
                .find("\"sources\":[{\"source\":\"10.0.0.1:5000\",\"sources\":1,\"telegrams\":6,\"bytes\":600,"
                      "\"missing_blocks\":0,\"missing_scans\":1,\"missing_tail_blocks\":0,\"repeated\":0,"
                      "\"reordered\":0,\"restarts\":0,\"outliers\":0},{\"source\":null,\"sources\":3,"
                      "\"telegrams\":4,\"bytes\":0,"),
            std::string::npos);
  EXPECT_NE(StatsJson(run, interval, "", 0, true).find("}],\"ignored\":9,"), std::string::npos);
  run.drops_known = false;
  EXPECT_NE(StatsJson(run, interval, "", 0, true).find("\"dropped_by_system\":null"), std::string::npos);
  EXPECT_NE(StatsJson(run, interval, "", 0, true).find("\"recording\":null,\"recorded\":0,\"final\":true}"),
            std::string::npos);
  // The broker's part only where there is a broker: the publisher's counts,
  // or the subscriber's.
  EXPECT_EQ(StatsJson(run, interval, "", 0, true).find("broker"), std::string::npos);
  run.broker.publishing = true;
  run.broker.connected = true;
  run.broker.passed = 7;
  run.broker.not_passed = 2;
  EXPECT_NE(StatsJson(run, interval, "", 0, true)
                .find("\"ignored\":9,\"broker\":{\"connected\":true,\"published\":7,\"not_published\":2},"),
            std::string::npos);
  run.broker.publishing = false;
  run.broker.subscribing = true;
  run.broker.connected = false;
  run.broker.unreadable = 5;
  EXPECT_NE(StatsJson(run, interval, "", 0, true)
                .find("\"broker\":{\"connected\":false,\"taken\":7,\"not_taken\":2,\"passed_over\":5},"),
            std::string::npos);
}

}  // namespace
