// Where a telegram came from: its sender's IPv4 address and UDP port, as a
// key, in words ("10.0.0.1:5000"), and read back from the words a user
// gives (--source ADDR[:PORT]).
#ifndef NET_SOURCE_ADDRESS_H_
#define NET_SOURCE_ADDRESS_H_

#include <cstdint>
#include <string>
#include <vector>

struct SourceAddress {
  uint32_t address = 0;  // IPv4, host order: 127.0.0.1 is 0x7F000001
  uint16_t port = 0;     // in a filter, 0 is any port
};

inline bool operator==(const SourceAddress& a, const SourceAddress& b) {
  return a.address == b.address && a.port == b.port;
}

// "10.0.0.1:5000".
std::string SourceText(const SourceAddress& source);

// "ADDR" or "ADDR:PORT", ADDR a dotted IPv4 address and PORT 1 to 65535.
// False, with words naming `option`, for anything else.
bool ParseSource(const std::string& text, const char* option, SourceAddress* source, std::string* err);

// The sources a run keeps (--source): none given keeps every one.
class SourceFilter {
 public:
  void Add(const SourceAddress& source) { kept_.push_back(source); }
  bool Keeps(const SourceAddress& source) const;
  bool empty() const { return kept_.empty(); }
  // "10.0.0.1, 10.0.0.2:5000".
  std::string Text() const;

 private:
  std::vector<SourceAddress> kept_;
};

#endif  // NET_SOURCE_ADDRESS_H_
