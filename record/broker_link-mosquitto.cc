// The broker link over libmosquitto: its own thread (mosquitto_loop_start)
// connects, reconnects, writes what is published and takes what comes;
// this side only hands messages over and counts.
#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <set>
#include <map>
#include <string>
#include <vector>

#include "net/source_address.h"
#include "record/broker_link.h"
#include "record/datagram_queue.h"

namespace {

// libmosquitto is set up once for the process, and cleaned up at its end.
class MosquittoLibrary {
 public:
  MosquittoLibrary() { mosquitto_lib_init(); }
  ~MosquittoLibrary() { mosquitto_lib_cleanup(); }
  MosquittoLibrary(const MosquittoLibrary&) = delete;
  MosquittoLibrary& operator=(const MosquittoLibrary&) = delete;
};

void UseLibrary() { static const MosquittoLibrary library; }

// At least once: a message counts as published once the broker has
// confirmed it (PUBACK), and one sent when the connection broke is sent
// again on the next.
const int kQos = 1;

// Each message's place in front of its bytes in the subscriber's queue:
// the destination it was received at (4 bytes of address, 2 of port).
const size_t kDestinationBytes = 6;

int64_t WallNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool BrokerClientBuiltIn(std::string* /*why_not*/) { return true; }

struct BrokerState {
  BrokerAccess access;
  bool subscriber = false;
  mosquitto* client = nullptr;
  bool loop_started = false;
  std::atomic<bool> connected{false};
  std::atomic<bool> ever_connected{false};

  std::mutex mutex;
  std::condition_variable written;
  std::map<int, size_t> pending;  // published, not yet written: message id and bytes
  std::set<int> written_early;    // written before their publish call returned
  size_t pending_bytes = 0;
  uint64_t passed = 0;
  uint64_t not_passed = 0;
  uint64_t unreadable = 0;
  uint64_t unconfirmed = 0;
  std::string refused;

  // The subscriber's messages, on their way to the receiving thread.
  DatagramQueue queue;
  std::vector<unsigned char> record;

  BrokerState() = default;
  BrokerState(const BrokerState&) = delete;
  BrokerState& operator=(const BrokerState&) = delete;
  ~BrokerState() { End(); }

  bool Start(const BrokerAccess& given, bool subscribing, std::string* err);
  void End() {
    if (client == nullptr) return;
    mosquitto_disconnect(client);
    if (loop_started) mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
    client = nullptr;
  }
  BrokerCounts Counts() {
    const std::lock_guard<std::mutex> lock(mutex);
    BrokerCounts counts;
    counts.passed = passed;
    counts.not_passed = not_passed;
    counts.unreadable = unreadable;
    counts.unconfirmed = unconfirmed;
    counts.connected = connected.load();
    counts.refused = refused;
    return counts;
  }
};

namespace {

// The library's calls back, with the state they were given.
BrokerState* StateOf(void* given) { return static_cast<BrokerState*>(given); }

std::string SubscriptionTopic(const std::string& topic) {
  // A base topic takes every source's under it; one with wildcards is the user's.
  return topic.find_first_of("#+") != std::string::npos ? topic : topic + "/#";
}

void OnConnect(mosquitto* client, void* given, int reason, int /*flags*/, const mosquitto_property* /*properties*/) {
  BrokerState* state = StateOf(given);
  if (reason == 0) {
    state->connected.store(true);
    state->ever_connected.store(true);
    if (state->subscriber) {
      mosquitto_subscribe_v5(client, nullptr, SubscriptionTopic(state->access.url.topic).c_str(), kQos, 0, nullptr);
    }
    return;
  }
  // A login or a topic refused is for good; anything else (the server
  // busy) is tried again.
  if (reason == MQTT_RC_BAD_USERNAME_OR_PASSWORD || reason == MQTT_RC_NOT_AUTHORIZED ||
      reason == MQTT_RC_BANNED || reason == MQTT_RC_CLIENTID_NOT_VALID) {
    const std::lock_guard<std::mutex> lock(state->mutex);
    state->refused = mosquitto_reason_string(reason);
    mosquitto_disconnect(client);
  }
}

void OnDisconnect(mosquitto* /*client*/, void* given, int /*reason*/, const mosquitto_property* /*properties*/) {
  StateOf(given)->connected.store(false);
}

void OnPublish(mosquitto* /*client*/, void* given, int message, int /*reason*/,
               const mosquitto_property* /*properties*/) {
  BrokerState* state = StateOf(given);
  const std::lock_guard<std::mutex> lock(state->mutex);
  const auto found = state->pending.find(message);
  if (found == state->pending.end()) {
    state->written_early.insert(message);
    ++state->passed;
    return;
  }
  state->pending_bytes -= found->second;
  state->pending.erase(found);
  ++state->passed;
  state->written.notify_all();
}

// The user properties of a message: its time, source and destination.
// A message without them (another publisher's) is taken as received now,
// from nowhere; one whose properties are there but broken is not a
// telegram of ours and is passed over.
struct MessageFacts {
  int64_t time_ns = 0;
  bool kernel_time = false;
  SourceAddress source;
  SourceAddress destination;
  bool readable = true;
};

// A time in ns since 1970: digits only, not past int64_t.
bool ParseTime(const char* text, int64_t* time_ns) {
  if (*text == '\0') return false;
  int64_t value = 0;
  for (const char* at = text; *at != '\0'; ++at) {
    if (*at < '0' || *at > '9') return false;
    const int digit = *at - '0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *time_ns = value;
  return true;
}

MessageFacts ReadFacts(const mosquitto_property* properties) {
  MessageFacts facts;
  facts.time_ns = WallNs();
  char* name = nullptr;
  char* value = nullptr;
  bool skip_first = false;
  const mosquitto_property* at = properties;
  while ((at = mosquitto_property_read_string_pair(at, MQTT_PROP_USER_PROPERTY, &name, &value, skip_first)) !=
         nullptr) {
    skip_first = true;
    std::string ignored;
    const std::string key = name;
    bool read = true;
    if (key == "time_ns") read = ParseTime(value, &facts.time_ns);
    if (key == "kernel_time") facts.kernel_time = std::strcmp(value, "1") == 0;
    if (key == "source") read = ParseSource(value, "source", &facts.source, &ignored);
    if (key == "destination") read = ParseSource(value, "destination", &facts.destination, &ignored);
    if (!read) facts.readable = false;
    // The library hands each out in memory of its own, to be given back so.
    free(name);   // NOLINT(cppcoreguidelines-no-malloc,hicpp-no-malloc)
    free(value);  // NOLINT(cppcoreguidelines-no-malloc,hicpp-no-malloc)
  }
  return facts;
}

void OnMessage(mosquitto* /*client*/, void* given, const mosquitto_message* message,
               const mosquitto_property* properties) {
  BrokerState* state = StateOf(given);
  const size_t size = static_cast<size_t>(message->payloadlen);
  const bool fits = message->payloadlen >= 0 && size <= TGR_MAX_TELEGRAM_SIZE;
  const MessageFacts facts = fits ? ReadFacts(properties) : MessageFacts();
  if (!fits || !facts.readable) {
    const std::lock_guard<std::mutex> lock(state->mutex);
    ++state->unreadable;
    return;
  }
  tgr_datagram datagram = {};
  datagram.struct_size = sizeof datagram;
  datagram.size = kDestinationBytes + size;
  datagram.time_ns = facts.time_ns;
  datagram.kernel_time = facts.kernel_time ? 1 : 0;
  datagram.source_address = facts.source.address;
  datagram.source_port = facts.source.port;
  std::vector<unsigned char>& record = state->record;
  record.resize(kDestinationBytes + size);
  for (int i = 0; i < 4; ++i) record[static_cast<size_t>(i)] = static_cast<unsigned char>(facts.destination.address >> (24 - 8 * i));
  record[4] = static_cast<unsigned char>(facts.destination.port >> 8);
  record[5] = static_cast<unsigned char>(facts.destination.port);
  if (size > 0) memcpy(record.data() + kDestinationBytes, message->payload, size);
  const bool taken = state->queue.Push(datagram, record.data());
  const std::lock_guard<std::mutex> lock(state->mutex);
  if (taken) {
    ++state->passed;
  } else {
    ++state->not_passed;
  }
}

}  // namespace

bool BrokerState::Start(const BrokerAccess& given, bool subscribing, std::string* err) {
  UseLibrary();
  access = given;
  subscriber = subscribing;
  const std::string where = BrokerUrlText(access.url);
  if (subscriber && !queue.Allocate(access.backlog)) {
    *err = "not enough memory for a backlog of " + std::to_string(access.backlog) + " bytes";
    return false;
  }
  client = mosquitto_new(nullptr, true, this);
  if (client == nullptr) {
    *err = "cannot make an MQTT client: " + std::string(strerror(errno));
    return false;
  }
  mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_connect_v5_callback_set(client, OnConnect);
  mosquitto_disconnect_v5_callback_set(client, OnDisconnect);
  mosquitto_publish_v5_callback_set(client, OnPublish);
  mosquitto_message_v5_callback_set(client, OnMessage);
  if (!access.url.user.empty()) {
    mosquitto_username_pw_set(client, access.url.user.c_str(),
                              access.url.password.empty() ? nullptr : access.url.password.c_str());
  }
  if (access.url.tls) {
    const int set = mosquitto_tls_set(client, access.ca_file.empty() ? nullptr : access.ca_file.c_str(),
                                      access.ca_file.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    if (set != MOSQ_ERR_SUCCESS) {
      *err = "cannot use the CA file '" + access.ca_file + "' for " + where + ": " + mosquitto_strerror(set);
      return false;
    }
  } else if (!access.ca_file.empty()) {
    *err = "a CA file is for a broker reached by TLS (mqtts://), and " + where + " is not";
    return false;
  }
  mosquitto_reconnect_delay_set(client, 1, 1, false);
  // A broker not there yet is no failure: the link's thread tries again.
  (void)mosquitto_connect_async(client, access.url.host.c_str(), access.url.port, 10);
  const int started = mosquitto_loop_start(client);
  if (started != MOSQ_ERR_SUCCESS) {
    *err = "cannot start the MQTT client's thread: " + std::string(mosquitto_strerror(started));
    return false;
  }
  loop_started = true;
  return true;
}

BrokerPublisher::BrokerPublisher() = default;
BrokerPublisher::~BrokerPublisher() = default;

bool BrokerPublisher::Start(const BrokerAccess& access, std::string* err) {
  state_ = std::make_unique<BrokerState>();
  return state_->Start(access, false, err);
}

void BrokerPublisher::Publish(const tgr_datagram& datagram, const unsigned char* bytes, uint32_t destination,
                              uint16_t destination_port) {
  BrokerState& state = *state_;
  {
    const std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.connected.load() || state.pending_bytes + datagram.size > state.access.backlog) {
      ++state.not_passed;
      return;
    }
  }
  const std::string source = SourceText(SourceAddress{datagram.source_address, datagram.source_port});
  const std::string to = SourceText(SourceAddress{destination, destination_port});
  const std::string topic = SourceTopic(state.access.url.topic, datagram.source_address, datagram.source_port);
  mosquitto_property* properties = nullptr;
  mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY, "time_ns",
                                     std::to_string(datagram.time_ns).c_str());
  mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY, "kernel_time",
                                     datagram.kernel_time != 0 ? "1" : "0");
  mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY, "source", source.c_str());
  mosquitto_property_add_string_pair(&properties, MQTT_PROP_USER_PROPERTY, "destination", to.c_str());
  int message = 0;
  const int result = mosquitto_publish_v5(state.client, &message, topic.c_str(), static_cast<int>(datagram.size),
                                          bytes, kQos, false, properties);
  mosquitto_property_free_all(&properties);
  const std::lock_guard<std::mutex> lock(state.mutex);
  if (result != MOSQ_ERR_SUCCESS) {
    ++state.not_passed;
    return;
  }
  if (state.written_early.erase(message) == 0) {
    state.pending[message] = datagram.size;
    state.pending_bytes += datagram.size;
  }
}

BrokerCounts BrokerPublisher::Counts() const { return state_ ? state_->Counts() : BrokerCounts(); }

void BrokerPublisher::Finish(std::chrono::milliseconds grace) {
  if (!state_) return;
  {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->written.wait_for(lock, grace, [this] { return state_->pending.empty(); });
    state_->unconfirmed = state_->pending.size();
  }
  state_->End();
}

BrokerSubscriber::BrokerSubscriber() = default;
BrokerSubscriber::~BrokerSubscriber() = default;

bool BrokerSubscriber::Start(const BrokerAccess& access, std::string* err) {
  state_ = std::make_unique<BrokerState>();
  return state_->Start(access, true, err);
}

bool BrokerSubscriber::Next(std::chrono::milliseconds wait, unsigned char* buffer, tgr_datagram* datagram,
                            uint32_t* destination, uint16_t* destination_port) {
  const unsigned char* bytes = nullptr;
  if (!state_ || !state_->queue.Peek(wait, datagram, &bytes)) return false;
  *destination = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                 static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  *destination_port = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  datagram->size -= kDestinationBytes;
  if (datagram->size > 0) memcpy(buffer, bytes + kDestinationBytes, datagram->size);
  state_->queue.Release();
  return true;
}

BrokerCounts BrokerSubscriber::Counts() const { return state_ ? state_->Counts() : BrokerCounts(); }

void BrokerSubscriber::Finish() {
  if (state_) state_->End();
}
