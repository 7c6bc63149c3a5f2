#include "record/run_summary.h"

#include <cstdio>

#include "record/telegram_lines.h"

std::string Grouped(uint64_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return digits;
}

std::string Counted(uint64_t n, const char* one, const char* many) {
  return Grouped(n) + " " + (n == 1 ? one : many);
}

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

double PerSecond(uint64_t amount, double seconds) { return seconds > 0 ? static_cast<double>(amount) / seconds : 0.0; }
double PerSecond(double amount, double seconds) { return seconds > 0 ? amount / seconds : 0.0; }

// A JSON string: quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  return out + "\"";
}

}  // namespace

namespace {

std::string TrafficWords(uint64_t telegrams, uint64_t bytes, double seconds) {
  return Counted(telegrams, "telegram", "telegrams") + " (" + Counted(bytes, "byte", "bytes") + ") in " +
         Fixed(seconds, 3) + " s, " + Fixed(PerSecond(telegrams, seconds), 0) + " telegrams/s, " +
         Fixed(PerSecond(static_cast<double>(bytes) * 8 / 1e6, seconds), 1) + " Mbit/s";
}

std::string SequenceWords(const tgr_sequence_counts& c) {
  std::string words = "sequence: " + Counted(c.missing_blocks, "block", "blocks") + " and " +
                      Counted(c.missing_scans, "scan", "scans") + " missing, " +
                      Counted(c.missing_tail_blocks, "more block", "more blocks") +
                      " inferred missing at scan ends, " + Grouped(c.repeated) + " repeated, " +
                      Grouped(c.reordered) + " out of order";
  if (c.restarts > 0) words += ", " + Counted(c.restarts, "restart", "restarts") + " of the numbering";
  if (c.outliers > 0) {
    words += ", " + Counted(c.outliers, "outlier", "outliers") + " (a number no later telegram confirmed)";
  }
  return words;
}

// "3 more sources", "at least 4,096 more sources".
std::string MoreSourcesWords(uint64_t sources, bool at_least) {
  return (at_least ? "at least " : "") + Counted(sources, "more source", "more sources");
}

}  // namespace

std::string SummaryLine(const RunNumbers& run) {
  std::string words = TrafficWords(run.telegrams, run.bytes, run.seconds);
  if (run.sources_seen > 1) words = "from " + Counted(run.sources_seen, "source", "sources") + ": " + words;
  if (run.drops_known) {
    words += "; dropped by the system" + std::string(run.dropped_system_wide ? " (all UDP, not this port alone)" : "") +
             ": " + Grouped(run.dropped);
  }
  return words + "; " + SequenceWords(run.sequence);
}

std::string SourceLine(const SourceNumbers& source, double seconds) {
  const std::string from = source.others ? MoreSourcesWords(source.sources, source.at_least) + " (counted together)"
                                         : SourceText(source.source);
  return "from " + from + ": " + TrafficWords(source.telegrams, source.bytes, seconds) + "; " +
         SequenceWords(source.sequence);
}

std::string StatusLine(const RunNumbers& run) {
  const tgr_sequence_counts& c = run.sequence;
  std::string words = Counted(run.telegrams, "telegram", "telegrams") + ", " +
                      Fixed(static_cast<double>(run.bytes) / 1e6, 1) + " MB, " +
                      Grouped(c.missing_blocks + c.missing_scans) + " missing";
  if (run.drops_known && run.dropped > 0) words += ", " + Grouped(run.dropped) + " dropped";
  if (run.sources_seen > 1) words += ", " + Counted(run.sources_seen, "source", "sources");
  if (run.ignored > 0) words += ", " + Grouped(run.ignored) + " from other sources ignored";
  if (run.not_written > 0) words += ", " + Grouped(run.not_written) + " not written to standard output";
  return words;
}

std::string StatsJson(const RunNumbers& run, const StatsInterval& interval, const std::string& recording,
                      uint64_t recorded, bool final) {
  const tgr_sequence_counts& c = run.sequence;
  std::string json = "{\"time\":" + JsonString(UtcTime(interval.now_ns)) +
                     ",\"time_ns\":" + std::to_string(interval.now_ns) + ",\"seconds\":" + Fixed(run.seconds, 3) +
                     ",\"telegrams\":" + std::to_string(run.telegrams) + ",\"bytes\":" + std::to_string(run.bytes) +
                     ",\"telegrams_per_s\":" + Fixed(PerSecond(interval.telegrams, interval.seconds), 1) +
                     ",\"mbit_per_s\":" +
                     Fixed(PerSecond(static_cast<double>(interval.bytes) * 8 / 1e6, interval.seconds), 3) +
                     ",\"dropped_by_system\":" + (run.drops_known ? std::to_string(run.dropped) : "null") +
                     ",\"dropped_system_wide\":" + (run.dropped_system_wide ? "true" : "false");
  json += ",\"sequence\":{\"block_telegrams\":" + std::to_string(c.block_telegrams) +
          ",\"missing_blocks\":" + std::to_string(c.missing_blocks) +
          ",\"missing_scans\":" + std::to_string(c.missing_scans) +
          ",\"missing_tail_blocks\":" + std::to_string(c.missing_tail_blocks) +
          ",\"repeated\":" + std::to_string(c.repeated) + ",\"reordered\":" + std::to_string(c.reordered) +
          ",\"restarts\":" + std::to_string(c.restarts) + ",\"outliers\":" + std::to_string(c.outliers) + "}";
  json += ",\"sources\":[";
  for (size_t i = 0; i < run.sources.size(); ++i) {
    const SourceNumbers& one = run.sources[i];
    const tgr_sequence_counts& s = one.sequence;
    json += std::string(i > 0 ? "," : "") + "{\"source\":" +
            (one.others ? std::string("null") : JsonString(SourceText(one.source))) +
            ",\"sources\":" + std::to_string(one.sources) + ",\"telegrams\":" + std::to_string(one.telegrams) +
            ",\"bytes\":" + std::to_string(one.bytes) + ",\"missing_blocks\":" + std::to_string(s.missing_blocks) +
            ",\"missing_scans\":" + std::to_string(s.missing_scans) +
            ",\"missing_tail_blocks\":" + std::to_string(s.missing_tail_blocks) +
            ",\"repeated\":" + std::to_string(s.repeated) + ",\"reordered\":" + std::to_string(s.reordered) +
            ",\"restarts\":" + std::to_string(s.restarts) + ",\"outliers\":" + std::to_string(s.outliers) + "}";
  }
  json += "],\"ignored\":" + std::to_string(run.ignored);
  const RunNumbers::Broker& b = run.broker;
  if (b.publishing || b.subscribing) {
    json += std::string(",\"broker\":{\"connected\":") + (b.connected ? "true" : "false") +
            (b.subscribing ? ",\"taken\":" + std::to_string(b.passed) + ",\"not_taken\":" +
                                 std::to_string(b.not_passed) + ",\"passed_over\":" + std::to_string(b.unreadable)
                           : ",\"published\":" + std::to_string(b.passed) + ",\"not_published\":" +
                                 std::to_string(b.not_passed)) +
            "}";
  }
  json += ",\"not_written_to_stdout\":" + std::to_string(run.not_written) +
          ",\"recording\":" + (recording.empty() ? std::string("null") : JsonString(recording)) +
          ",\"recorded\":" + std::to_string(recorded) + ",\"final\":" + (final ? "true" : "false") + "}";
  return json;
}
