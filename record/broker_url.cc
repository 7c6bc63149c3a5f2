#include "record/broker_url.h"

#include <cstdlib>

#include "net/source_address.h"

bool ParseBrokerUrl(const std::string& text, const char* option, BrokerUrl* url, std::string* err) {
  BrokerUrl read;
  std::string rest;
  const auto fail = [&](const std::string& why) {
    *err = "bad value '" + text + "' for " + option + ": " + why +
           " (mqtt://[USER[:PASSWORD]@]HOST[:PORT]/TOPIC, or mqtts:// for TLS)";
    return false;
  };
  if (text.rfind("mqtt://", 0) == 0) {
    rest = text.substr(7);
  } else if (text.rfind("mqtts://", 0) == 0) {
    read.tls = true;
    read.port = 8883;
    rest = text.substr(8);
  } else {
    return fail("not an MQTT URL");
  }
  const size_t slash = rest.find('/');
  if (slash == std::string::npos || slash + 1 >= rest.size()) return fail("no topic");
  read.topic = rest.substr(slash + 1);
  std::string authority = rest.substr(0, slash);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    const std::string credentials = authority.substr(0, at);
    authority = authority.substr(at + 1);
    const size_t colon = credentials.find(':');
    read.user = credentials.substr(0, colon);
    if (colon != std::string::npos) read.password = credentials.substr(colon + 1);
    if (read.user.empty()) return fail("an empty user name");
  }
  const size_t colon = authority.rfind(':');
  read.host = authority.substr(0, colon);
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
      return fail("a bad port");
    }
    const long number = std::strtol(port.c_str(), nullptr, 10);
    if (number < 1 || number > 65535) return fail("a bad port");
    read.port = static_cast<uint16_t>(number);
  }
  if (read.host.empty()) return fail("no host");
  *url = read;
  return true;
}

std::string BrokerUrlText(const BrokerUrl& url) {
  return std::string(url.tls ? "mqtts://" : "mqtt://") + (url.user.empty() ? "" : url.user + "@") + url.host + ":" +
         std::to_string(url.port) + "/" + url.topic;
}

std::string SourceTopic(const std::string& base, uint32_t address, uint16_t port) {
  const std::string source = SourceText(SourceAddress{address, port});
  const size_t colon = source.rfind(':');
  return base + "/" + source.substr(0, colon) + "/" + source.substr(colon + 1);
}
