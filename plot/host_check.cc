#include "plot/host_check.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// "a.b.c.d" with each part 0 to 255, written as an address is: no sign, no
// leading zero, nothing else. Its first part in `*first`.
bool IsIpv4Literal(const std::string& text, int* first) {
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    const size_t end = part < 3 ? text.find('.', at) : text.size();
    if (end == std::string::npos) return false;
    const std::string digits = text.substr(at, end - at);
    if (!AllDigits(digits) || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return false;
    const int number = std::stoi(digits);
    if (number > 255) return false;
    if (part == 0) *first = number;
    at = end + 1;
  }
  return true;
}

}  // namespace

std::string HostName(const std::string& header) {
  std::string host = Lower(header);
  if (host.empty()) return "";
  if (host[0] == '[') {
    const size_t close = host.find(']');
    if (close == std::string::npos) return "";
    const std::string rest = host.substr(close + 1);
    if (!rest.empty() && !(rest[0] == ':' && AllDigits(rest.substr(1)))) return "";
    return host.substr(0, close + 1);
  }
  const size_t colon = host.find(':');
  if (colon != std::string::npos) {
    if (!AllDigits(host.substr(colon + 1))) return "";
    host.resize(colon);
  }
  const bool name_chars = std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_';
  });
  return name_chars ? host : "";
}

bool IsLoopbackAddress(const std::string& address) {
  int first = 0;
  const std::string name = Lower(address);
  return name == "localhost" || name == "::1" || name == "[::1]" || (IsIpv4Literal(name, &first) && first == 127);
}

bool HostAllowed(const std::string& header, const std::string& local_address, const HostRules& rules) {
  const std::string name = HostName(header);
  if (name.empty()) return false;
  if (IsLoopbackAddress(name)) return true;
  // The address the browser reached this computer at, written as a URL
  // writes it.
  const std::string local = Lower(local_address);
  if (name == local || name == "[" + local + "]") return true;
  return std::find(rules.allowed.begin(), rules.allowed.end(), name) != rules.allowed.end();
}
