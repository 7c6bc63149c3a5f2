// A build without an MQTT client (the Windows zips, the static .tar.gz):
// the broker's options say so at once, never at a broker.
#include "record/broker_link.h"

struct BrokerState {};

bool BrokerClientBuiltIn(std::string* why_not) {
  *why_not = "this build of telegram-record has no MQTT client (the Linux .deb has one)";
  return false;
}

BrokerPublisher::BrokerPublisher() = default;
BrokerPublisher::~BrokerPublisher() = default;

bool BrokerPublisher::Start(const BrokerAccess& /*access*/, std::string* err) {
  return BrokerClientBuiltIn(err);
}

void BrokerPublisher::Publish(const tgr_datagram& /*datagram*/, const unsigned char* /*bytes*/,
                              uint32_t /*destination*/, uint16_t /*destination_port*/) {}

BrokerCounts BrokerPublisher::Counts() const { return BrokerCounts(); }

void BrokerPublisher::Finish(std::chrono::milliseconds /*grace*/) {}

BrokerSubscriber::BrokerSubscriber() = default;
BrokerSubscriber::~BrokerSubscriber() = default;

bool BrokerSubscriber::Start(const BrokerAccess& /*access*/, std::string* err) { return BrokerClientBuiltIn(err); }

bool BrokerSubscriber::Next(std::chrono::milliseconds /*wait*/, unsigned char* /*buffer*/, tgr_datagram* /*datagram*/,
                            uint32_t* /*destination*/, uint16_t* /*destination_port*/) {
  return false;
}

BrokerCounts BrokerSubscriber::Counts() const { return BrokerCounts(); }

void BrokerSubscriber::Finish() {}
