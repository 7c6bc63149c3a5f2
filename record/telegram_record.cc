// telegram-record: receives the scanner's telegrams on a UDP port, writes
// each to standard output as the receiver's report, CSV or JSON Lines,
// records them into pcapng if asked, and at the end says how many came and
// how many were lost. Built on the tgr library.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "record/record_options.h"
#include "record/run_control.h"
#include "record/telegram_lines.h"
#include "receiver/standard_output.h"
#include "telegram/report_format.h"
#include "tgr/tgr.hpp"

namespace {

const char kProgram[] = "telegram-record";

void Say(const std::string& words) { fprintf(stderr, "%s: %s\n", kProgram, words.c_str()); }

// "1,234,567".
std::string Grouped(uint64_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

// A fixed line of the report with the line ends standard output needs.
std::string Line(const char* text, LineEnds line_ends) {
  std::string out;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\n' && line_ends == kLineEndsCrlf) out += '\r';
    out += *c;
  }
  return out;
}

struct Tally {
  uint64_t telegrams = 0;
  uint64_t bytes = 0;
  std::chrono::steady_clock::time_point first;
  std::chrono::steady_clock::time_point last;
};

// What the run saw, in one line.
std::string Summary(const Tally& tally, tgr::Receiver* receiver, const tgr::Sequence& sequence) {
  std::string words = Grouped(tally.telegrams) + (tally.telegrams == 1 ? " telegram" : " telegrams") + " (" +
                      Grouped(tally.bytes) + " bytes)";
  if (tally.telegrams > 1) {
    const double seconds = std::chrono::duration<double>(tally.last - tally.first).count();
    char rate[96];
    snprintf(rate, sizeof rate, " in %.3f s, %.0f telegrams/s, %.1f Mbit/s", seconds,
             seconds > 0 ? static_cast<double>(tally.telegrams - 1) / seconds : 0.0,
             seconds > 0 ? static_cast<double>(tally.bytes) * 8 / seconds / 1e6 : 0.0);
    words += rate;
  }
  uint64_t dropped = 0;
  bool system_wide = false;
  if (receiver->Drops(&dropped, &system_wide) == TGR_OK) {
    words += "; dropped by the system" + std::string(system_wide ? " (all UDP, not this port alone)" : "") + ": " +
             Grouped(dropped);
  }
  const tgr_sequence_counts c = sequence.Counts();
  words += "; sequence: " + Grouped(c.missing_blocks) + " blocks and " + Grouped(c.missing_scans) +
           " scans missing, " + Grouped(c.missing_tail_blocks) + " more blocks inferred missing at scan ends, " +
           Grouped(c.repeated) + " repeated, " + Grouped(c.reordered) + " out of order";
  if (c.restarts > 0) words += ", " + Grouped(c.restarts) + " restarts of the numbering";
  return words;
}

// The status line on a terminal: written over in place.
void ShowStatus(const Tally& tally, const tgr::Sequence& sequence) {
  const tgr_sequence_counts c = sequence.Counts();
  fprintf(stderr, "\r%s telegrams, %.1f MB, %s missing   ", Grouped(tally.telegrams).c_str(),
          static_cast<double>(tally.bytes) / 1e6, Grouped(c.missing_blocks + c.missing_scans).c_str());
  fflush(stderr);
}

int Run(const RecordOptions& options) {
  LineEnds line_ends = kLineEndsAsWritten;
  if (!SetUpStandardOutput(&line_ends)) {
    Say("standard output is closed, so the telegrams have nowhere to go");
    return 2;
  }
  tgr::Receiver receiver;
  std::string err;
  if (receiver.Open(options.address, static_cast<uint16_t>(options.port), &err) != TGR_OK) {
    Say(err);
    return 2;
  }
  tgr::Recorder recorder;
  if (!options.record.empty() && recorder.Open(options.record, &err) != TGR_OK) {
    Say(err);
    return 2;
  }
  RunControl control;
  const int started = control.Start(&receiver);
  if (started != 0) {
    Say(std::string("cannot take Ctrl-C: ") + strerror(started));
    return 2;
  }
  Say("receiving on UDP port " + std::to_string(receiver.port()) + " on " +
      (options.address.empty() ? std::string("every IPv4 address") : options.address) +
      (options.count > 0 ? ", " + std::to_string(options.count) + " telegrams" : std::string(", until Ctrl-C")) +
      (options.record.empty() ? std::string() : ", recording into " + options.record));

  const bool status_line = StandardErrorIsTerminal();
  std::string out;
  if (options.format == kFormatReport) out = Line(kBannerLine, line_ends);
  if (options.format == kFormatCsv) AppendCsvHeader(&out);
  int status = 0;
  int written = control.WriteOut(out.data(), out.size());
  static unsigned char buffer[TGR_MAX_TELEGRAM_SIZE];
  Tally tally;
  tgr::Sequence sequence;
  auto shown = std::chrono::steady_clock::now();
  while (written == 0 && (options.count == 0 || tally.telegrams < static_cast<uint64_t>(options.count))) {
    tgr_datagram d;
    const int result = receiver.Next(status_line ? 500 : -1, buffer, sizeof buffer, &d);
    if (result == TGR_E_TIMEOUT) {
      ShowStatus(tally, sequence);
      continue;
    }
    if (result == TGR_E_CANCELLED) break;
    out.clear();
    if (result != TGR_OK) {
      Say(receiver.error());
      status = 1;
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (tally.telegrams == 0) tally.first = now;
    tally.last = now;
    ++tally.telegrams;
    tally.bytes += d.size;
    const tgr::Telegram t = tgr::Telegram::Decode(buffer, d.size);
    sequence.Add(t);
    if (!options.record.empty() &&
        recorder.Write(d, buffer, d.size, receiver.destination(), receiver.port()) != TGR_OK) {
      Say(recorder.error());
      status = 1;
      break;
    }
    if (options.format == kFormatReport) {
      // Into `out` itself, empty here: its room, kept from one telegram to
      // the next, takes any report at the first try once a large one came.
      tgr::Report(buffer, d.size, &out, line_ends == kLineEndsCrlf ? TGR_LINE_ENDS_CRLF : TGR_LINE_ENDS_AS_WRITTEN);
    } else if (options.format == kFormatCsv) {
      AppendCsvRow(d, t, &out);
    } else {
      AppendJsonLine(d, t, &out);
    }
    written = control.WriteOut(out.data(), out.size());
    if (status_line && now - shown > std::chrono::milliseconds(500)) {
      ShowStatus(tally, sequence);
      shown = now;
    }
  }
  if (status_line) fputs("\r\n", stderr);
  out.clear();
  if (options.format == kFormatReport && written == 0) {
    out += Line(kClosingLine, line_ends);
    out += Line(kExitLine, line_ends);
    written = control.WriteOut(out.data(), out.size());
  }
  if (written != 0 && written != EINTR) {
    Say(std::string("cannot write to standard output: ") + strerror(written));
    status = 1;
  }
  if (!options.record.empty()) {
    const uint64_t packets = recorder.packets();
    if (recorder.Close(&err) != TGR_OK) {
      if (status == 0) Say(err);
      status = 1;
    } else {
      Say(Grouped(packets) + (packets == 1 ? " telegram" : " telegrams") + " recorded in " + options.record);
    }
  }
  Say(Summary(tally, &receiver, sequence));
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  RecordOptions options;
  std::string err;
  const CommandLineResult result = ParseRecordOptions(argc, argv, &options, &err);
  int status = 0;
  if (AnswerCommandLine(result, kProgram, RecordUsage, err, &status)) return status;
  return Run(options);
}
