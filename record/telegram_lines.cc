#include "record/telegram_lines.h"

#include <charconv>

#include "net/source_address.h"

namespace {

void AppendNumber(uint64_t n, std::string* out) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out->append(digits, static_cast<size_t>(end - digits));
}

void AppendSigned(int64_t n, std::string* out) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out->append(digits, static_cast<size_t>(end - digits));
}

// Every value, each followed by `separator` but the last.
void AppendValues(const tgr_telegram& t, char separator, std::string* out) {
  for (size_t i = 0; i < t.value_count; ++i) {
    if (i > 0) out->push_back(separator);
    AppendNumber(static_cast<uint64_t>(t.values[2 * i] | t.values[2 * i + 1] << 8), out);
  }
}

// Days since 1970-01-01 into a civil date (proleptic Gregorian).
void CivilDate(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  *day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  *month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  *year = static_cast<int64_t>(year_of_era) + era * 400 + (*month <= 2 ? 1 : 0);
}

void AppendPadded(uint64_t n, int width, std::string* out) {
  char digits[24];
  int length = 0;
  do {
    digits[length++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  for (int i = length; i < width; ++i) out->push_back('0');
  while (length > 0) out->push_back(digits[--length]);
}

}  // namespace

std::string UtcTime(int64_t time_ns) {
  const int64_t ns_per_day = int64_t{86400} * 1000000000;
  int64_t days = time_ns / ns_per_day;
  int64_t in_day = time_ns % ns_per_day;
  if (in_day < 0) {
    in_day += ns_per_day;
    --days;
  }
  int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilDate(days, &year, &month, &day);
  const uint64_t ns = static_cast<uint64_t>(in_day);
  std::string out;
  AppendPadded(static_cast<uint64_t>(year), 4, &out);
  out += '-';
  AppendPadded(month, 2, &out);
  out += '-';
  AppendPadded(day, 2, &out);
  out += 'T';
  AppendPadded(ns / 3600000000000ULL, 2, &out);
  out += ':';
  AppendPadded(ns / 60000000000ULL % 60, 2, &out);
  out += ':';
  AppendPadded(ns / 1000000000ULL % 60, 2, &out);
  out += '.';
  AppendPadded(ns % 1000000000ULL, 9, &out);
  out += 'Z';
  return out;
}

void AppendCsvHeader(std::string* out) {
  out->append(
      "time,source,type,size,total_size,header_byte4,header_byte8,beam_start,beam_stop,beam_step,beam_count,"
      "scan,block,value_count,values\n");
}

void AppendCsvRow(const tgr_datagram& d, const tgr_telegram& t, std::string* out) {
  out->append(UtcTime(d.time_ns));
  out->push_back(',');
  out->append(SourceText(SourceAddress{d.source_address, d.source_port}));
  out->push_back(',');
  AppendNumber(t.type, out);
  out->push_back(',');
  AppendNumber(t.size, out);
  out->push_back(',');
  AppendNumber(t.total_size, out);
  out->push_back(',');
  AppendNumber(t.header_byte4, out);
  out->push_back(',');
  AppendNumber(t.header_byte8, out);
  out->push_back(',');
  if (t.type == TGR_TYPE_BEAM_RANGE) {
    AppendNumber(t.beam_start, out);
    out->push_back(',');
    AppendNumber(t.beam_stop, out);
    out->push_back(',');
    AppendNumber(t.beam_step, out);
    out->push_back(',');
    AppendSigned(t.beam_count, out);
    out->append(",,,,");
  } else if (t.type == TGR_TYPE_BLOCK_VALUES) {
    out->append(",,,,");
    AppendNumber(t.scan_no, out);
    out->push_back(',');
    AppendNumber(t.block_no, out);
    out->push_back(',');
    AppendNumber(t.value_count, out);
    out->push_back(',');
    AppendValues(t, ' ', out);
  } else {
    out->append(",,,,,,,");
  }
  out->push_back('\n');
}

void AppendJsonLine(const tgr_datagram& d, const tgr_telegram& t, std::string* out) {
  out->append("{\"time\":\"");
  out->append(UtcTime(d.time_ns));
  out->append("\",\"time_ns\":");
  AppendSigned(d.time_ns, out);
  out->append(",\"source\":\"");
  out->append(SourceText(SourceAddress{d.source_address, d.source_port}));
  out->append("\",\"type\":");
  AppendNumber(t.type, out);
  out->append(",\"size\":");
  AppendNumber(t.size, out);
  out->append(",\"total_size\":");
  AppendNumber(t.total_size, out);
  out->append(",\"header_byte4\":");
  AppendNumber(t.header_byte4, out);
  out->append(",\"header_byte8\":");
  AppendNumber(t.header_byte8, out);
  if (t.type == TGR_TYPE_BEAM_RANGE) {
    out->append(",\"beam\":{\"start\":");
    AppendNumber(t.beam_start, out);
    out->append(",\"stop\":");
    AppendNumber(t.beam_stop, out);
    out->append(",\"step\":");
    AppendNumber(t.beam_step, out);
    out->append(",\"count\":");
    AppendSigned(t.beam_count, out);
    out->push_back('}');
  } else if (t.type == TGR_TYPE_BLOCK_VALUES) {
    out->append(",\"scan\":");
    AppendNumber(t.scan_no, out);
    out->append(",\"block\":");
    AppendNumber(t.block_no, out);
    out->append(",\"values\":[");
    AppendValues(t, ',', out);
    out->push_back(']');
  }
  out->append("}\n");
}
