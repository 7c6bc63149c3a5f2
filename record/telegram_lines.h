// What telegram-record writes of each telegram besides the receiver's
// report: a CSV row or a JSON object on a line of its own, with its receive
// time, its source, its type and fields, and its values.
#ifndef RECORD_TELEGRAM_LINES_H_
#define RECORD_TELEGRAM_LINES_H_

#include <cstdint>
#include <string>

#include "tgr/tgr.h"

// "2026-12-09T14:30:01.123456789Z": UTC, to the nanosecond.
std::string UtcTime(int64_t time_ns);

// The CSV header row, and one row a telegram. Fields a type does not have
// are empty; the values, in one field, are separated by spaces.
void AppendCsvHeader(std::string* out);
void AppendCsvRow(const tgr_datagram& datagram, const tgr_telegram& telegram, std::string* out);

// One JSON object a telegram, on one line: a type-1 telegram's beam range
// and count, a type-6 telegram's scan, block and values.
void AppendJsonLine(const tgr_datagram& datagram, const tgr_telegram& telegram, std::string* out);

#endif  // RECORD_TELEGRAM_LINES_H_
