// What telegram-record says of its run, in words and for monitors: the
// summary line at the end, the status line on a terminal, and the live
// statistics, one JSON object a line. Made from plain numbers, so that each
// is tested word for word.
#ifndef RECORD_RUN_SUMMARY_H_
#define RECORD_RUN_SUMMARY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "record/source_counts.h"
#include "tgr/tgr.h"

// What the run has seen so far.
struct RunNumbers {
  uint64_t telegrams = 0;
  uint64_t bytes = 0;
  double seconds = 0;        // the run's own time so far: from its start
  bool drops_known = false;  // the system keeps a count of its drops
  uint64_t dropped = 0;
  bool dropped_system_wide = false;
  tgr_sequence_counts sequence = {};  // every source's, added up
  uint64_t not_written = 0;  // telegrams skipped in standard output
  // Each source's numbers, when there are several (else empty).
  std::vector<SourceNumbers> sources;
  uint64_t sources_seen = 0;  // sources whose telegrams were kept
  uint64_t ignored = 0;       // telegrams from sources not kept (--source)
  // The broker's part (--publish, --subscribe), if it has one.
  struct Broker {
    bool publishing = false;
    bool subscribing = false;
    bool connected = false;
    uint64_t passed = 0;      // published and confirmed, or taken from it
    uint64_t not_passed = 0;  // not published, or not taken (no room)
    uint64_t unreadable = 0;  // taken from it and passed over: not a telegram
  } broker;
};

// "1,234,567".
std::string Grouped(uint64_t n);
// "1 telegram", "2 telegrams", "1,000 telegrams".
std::string Counted(uint64_t n, const char* one, const char* many);

// The summary line, without the program's name: of every source together,
// "from N sources: " before it when there were several.
std::string SummaryLine(const RunNumbers& run);
// One source's line, ahead of the summary when there were several:
// "from 10.0.0.1:5000: ..." with its telegrams, rate and sequence.
std::string SourceLine(const SourceNumbers& source, double seconds);
// The status line's words (a terminal writes it over in place).
std::string StatusLine(const RunNumbers& run);

// One JSON object of live statistics, with no line end: `now_ns` (ns since
// 1970), the run so far, the rates over the last `interval_seconds`
// (`interval_telegrams`, `interval_bytes`), and the recording's file ("":
// none) and its packets.
struct StatsInterval {
  int64_t now_ns = 0;
  double seconds = 0;
  uint64_t telegrams = 0;
  uint64_t bytes = 0;
};
std::string StatsJson(const RunNumbers& run, const StatsInterval& interval, const std::string& recording,
                      uint64_t recorded, bool final);

#endif  // RECORD_RUN_SUMMARY_H_
