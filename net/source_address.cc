#include "net/source_address.h"

#include <algorithm>
#include <cstdlib>

namespace {

// A whole number of at most `digits` digits from `text` at `*at`, no more
// than `high`.
bool ReadPart(const std::string& text, size_t* at, size_t digits, unsigned long high, unsigned long* value) {
  size_t end = *at;
  while (end < text.size() && end - *at < digits + 1 && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == *at || end - *at > digits) return false;
  *value = std::strtoul(text.substr(*at, end - *at).c_str(), nullptr, 10);
  *at = end;
  return *value <= high;
}

}  // namespace

namespace {

std::string AddressText(uint32_t address) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    text += std::to_string((address >> shift) & 0xFF);
    if (shift > 0) text += '.';
  }
  return text;
}

}  // namespace

std::string SourceText(const SourceAddress& source) {
  return AddressText(source.address) + ":" + std::to_string(source.port);
}

bool ParseSource(const std::string& text, const char* option, SourceAddress* source, std::string* err) {
  SourceAddress read;
  size_t at = 0;
  bool good = true;
  for (int part = 0; part < 4 && good; ++part) {
    unsigned long byte = 0;
    good = (part == 0 || (at < text.size() && text[at++] == '.')) && ReadPart(text, &at, 3, 255, &byte);
    read.address = read.address << 8 | static_cast<uint32_t>(byte);
  }
  if (good && at < text.size()) {
    unsigned long port = 0;
    good = text[at++] == ':' && ReadPart(text, &at, 5, 65535, &port) && port > 0 && at == text.size();
    read.port = static_cast<uint16_t>(port);
  }
  if (!good) {
    *err = "bad value '" + text + "' for " + option + ": an IPv4 address, or one with a port (10.0.0.1:5000)";
    return false;
  }
  *source = read;
  return true;
}

bool SourceFilter::Keeps(const SourceAddress& source) const {
  return kept_.empty() || std::any_of(kept_.begin(), kept_.end(), [&](const SourceAddress& kept) {
           return kept.address == source.address && (kept.port == 0 || kept.port == source.port);
         });
}

std::string SourceFilter::Text() const {
  std::string text;
  for (const SourceAddress& kept : kept_) {
    text += (text.empty() ? "" : ", ") + (kept.port != 0 ? SourceText(kept) : AddressText(kept.address));
  }
  return text;
}
