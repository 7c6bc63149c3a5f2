// A block of values as the page takes it, whichever way it comes: from the
// server (telegram-plot --serve) or from files beside the page (-o). The
// same words on both roads: a block's summary and the report's state as
// JSON, its values as the report prints them (the page makes them numbers,
// and the CSV that it offers); and the CSV itself (`index,value` lines
// under a header), for a folder asked to hold it.
#ifndef PLOT_BLOCK_DATA_H_
#define PLOT_BLOCK_DATA_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "telegram/report_reader.h"

// What the page shows of a block before it has its values.
struct BlockSummary {
  uint64_t id;       // its place among the blocks with values, from 1
  std::string name;  // the name of its files: "scan-12-block-0", "-2" after it for a second one
  long long scan_no;
  long block_no;
  long telegram;     // its place among the report's telegrams
  size_t count;      // values
  bool cut_short;    // the report ends in its values
  std::string file;  // in a folder: the file of values it is in (values/FILE.js); else empty
  std::string source;  // where its telegram came from, if known ("10.0.0.1:5000"); else empty
};

BlockSummary SummaryOf(const ReportBlock& block, uint64_t id, const std::string& name);

// How far the report has come, and how it ended.
struct ReportState {
  std::string source;  // its name
  long telegrams;      // read so far
  uint64_t blocks;     // blocks with values so far
  uint64_t kept;       // of them, those still shown (the newest)
  uint64_t passed_over;  // of them, those not written: the disk could not keep up
  bool reading;        // more may come
  bool whole;          // it ended with its closing lines
  std::string damage;  // where it stops being a report (or the capture its telegrams are in), or empty
  // Where the blocks come from: "" a report; "udp" telegrams received;
  // "capture" telegrams read from a capture file.
  std::string input;
};

std::string SummaryJson(const BlockSummary& summary);
std::string StateJson(const ReportState& state);

// Appends "index,value", then a line for each value of a block's values
// text ("index,value"). Into a string kept from one block to the next, it
// costs no allocation.
void AppendValuesCsv(const std::string& text, std::string* out);

// `text` as a JSON string, quotes included; safe inside a script element.
std::string JsonString(const std::string& text);

#endif  // PLOT_BLOCK_DATA_H_
