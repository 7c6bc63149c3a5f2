// Where a broker is, from the words a user gives:
// mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC, or mqtts:// for TLS.
#ifndef RECORD_BROKER_URL_H_
#define RECORD_BROKER_URL_H_

#include <cstdint>
#include <string>

struct BrokerUrl {
  bool tls = false;
  std::string user;      // empty: none
  std::string password;
  std::string host;
  uint16_t port = 1883;  // 8883 for mqtts
  std::string topic;     // never empty; no wildcard when publishing
};

// Reads `text` for `option`; false, with words naming it, for anything else.
bool ParseBrokerUrl(const std::string& text, const char* option, BrokerUrl* url, std::string* err);

// The URL without its password, for messages: "mqtt://user@host:1883/topic".
std::string BrokerUrlText(const BrokerUrl& url);

// The topic of one source's telegrams under `base`: "base/10.0.0.7/2112".
std::string SourceTopic(const std::string& base, uint32_t address, uint16_t port);

#endif  // RECORD_BROKER_URL_H_
