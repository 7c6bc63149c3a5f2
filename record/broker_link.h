// telegram-record's link to an MQTT broker, where telegrams from several
// computers meet: a publisher that sends each telegram on, one message
// each, unchanged, under a topic per source (TOPIC/ADDRESS/PORT) with its
// receive time, source and destination as MQTT 5 user properties
// (time_ns, kernel_time, source, destination); and a subscriber that takes
// them back as if they had been received here.
//
// Both connect in the background and reconnect by themselves: a broker
// that is away or restarts never holds the receiving up. Messages go at
// least once (QoS 1): one counts as published when the broker confirms
// it, and one the connection broke under is sent again on the next. What
// waits for the broker is bounded in bytes; what finds no room, or comes
// while the broker is away, is counted, never kept.
//
// One implementation over libmosquitto (broker_link-mosquitto.cc), and one
// for builds without it (broker_link-none.cc), which says so.
#ifndef RECORD_BROKER_LINK_H_
#define RECORD_BROKER_LINK_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "record/broker_url.h"
#include "tgr/tgr.h"

// Whether this build has an MQTT client; if not, words saying so.
bool BrokerClientBuiltIn(std::string* why_not);

// How to reach the broker beyond its URL.
struct BrokerAccess {
  BrokerUrl url;
  std::string ca_file;      // for mqtts: the CA's certificates (PEM); empty: the system's
  std::string client_name;  // the MQTT client id's start
  size_t backlog = 0;       // the most bytes that may wait for the broker
};

struct BrokerState;

// The counts of a link so far.
struct BrokerCounts {
  uint64_t passed = 0;       // published and confirmed by the broker, or taken from it
  uint64_t not_passed = 0;   // not published (the broker away, or behind), or not taken (no room)
  uint64_t unreadable = 0;   // taken from the broker, not a telegram: too large, or broken properties
  uint64_t unconfirmed = 0;  // published, and not confirmed by the end (Finish)
  bool connected = false;
  std::string refused;      // the broker refused the connection: its words ("" if not)
};

class BrokerPublisher {
 public:
  BrokerPublisher();
  ~BrokerPublisher();
  BrokerPublisher(const BrokerPublisher&) = delete;
  BrokerPublisher& operator=(const BrokerPublisher&) = delete;

  // Starts connecting; false, with words, only for what can never work (no
  // client in this build, a CA file that cannot be read).
  bool Start(const BrokerAccess& access, std::string* err);
  // Offers one telegram: published if the broker is there and there is
  // room, else counted. Never waits.
  void Publish(const tgr_datagram& datagram, const unsigned char* bytes, uint32_t destination,
               uint16_t destination_port);
  BrokerCounts Counts() const;
  // Gives what is waiting up to `grace` to reach the broker, then ends
  // the link.
  void Finish(std::chrono::milliseconds grace);

 private:
  std::unique_ptr<BrokerState> state_;
};

class BrokerSubscriber {
 public:
  BrokerSubscriber();
  ~BrokerSubscriber();
  BrokerSubscriber(const BrokerSubscriber&) = delete;
  BrokerSubscriber& operator=(const BrokerSubscriber&) = delete;

  bool Start(const BrokerAccess& access, std::string* err);
  // The next telegram, waiting up to `wait`: its bytes into `buffer`
  // (TGR_MAX_TELEGRAM_SIZE bytes), its time and source in `*datagram`, its
  // destination as it was received. False if none came.
  bool Next(std::chrono::milliseconds wait, unsigned char* buffer, tgr_datagram* datagram, uint32_t* destination,
            uint16_t* destination_port);
  BrokerCounts Counts() const;
  void Finish();

 private:
  std::unique_ptr<BrokerState> state_;
};

#endif  // RECORD_BROKER_LINK_H_
