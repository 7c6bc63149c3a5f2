#include "plot/live_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/span_body.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <algorithm>
#include <chrono>
#include <list>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "plot/block_reader.h"
#include "plot/block_picture.h"
#include "plot/exclusive_port.h"
#include "plot/page_assets.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// A request, head and body, must have come whole this long after the
// connection began to wait for it; an idle connection is closed then too.
const auto kRequestDeadline = std::chrono::seconds(5);
// An answer must have been taken this long after it began to go out.
const auto kAnswerDeadline = std::chrono::seconds(10);
// A page's send buffer: some seconds of news at the most there is.
const int kPageSendBuffer = 16384;
// A page that has taken no news for this long is dropped.
const auto kStalledPage = std::chrono::seconds(10);
// A page that has had no news for this long gets a comment, so that a
// connection gone dead is noticed.
const auto kQuietLimit = std::chrono::seconds(15);
// News goes to the pages no more often than this: faster than a screen
// draws, so that the newest block shows at once, and no faster, so that the
// pages cost the reading of the report little at the receiver's full rate.
const auto kNewsInterval = std::chrono::milliseconds(20);
// After the last answer on a connection, how long the client may take to
// close its end.
const auto kLingering = std::chrono::seconds(2);
// After a failed accept (no file descriptor left), a pause before the next.
const auto kAcceptPause = std::chrono::milliseconds(50);
// Blocks whose range one answer of /range finds at most (each costs a
// making of its values into numbers), so that it holds up no other.
const size_t kRangesPerAnswer = 16;
// The bounds of a request: its head, and a body (which no route takes).
const size_t kMostHeadBytes = 8192;
const size_t kMostBodyBytes = 4096;

const char kText[] = "text/plain; charset=utf-8";
const char kStreamHead[] =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/event-stream\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Connection: close\r\n"
    "\r\n";
const char kStillHere[] = ": still here\n\n";

// The news a page is pushed: how far the report has come, and the newest
// block.
std::string News(const BlockStore& store) {
  const auto newest = store.Newest();
  return "event: news\ndata: {\"state\":" + StateJson(store.state()) +
         ",\"newest\":" + (newest ? SummaryJson(newest->summary) : std::string("null")) + "}\n\n";
}

// The range of the values of the blocks kept, as far as it is known: the
// blocks not yet ranged are ranged, the newest first, up to
// kRangesPerAnswer of them; the answer says how many of the blocks kept it
// covers, so that the page asks again for the rest.
std::string RangeJson(const BlockStore& store) {
  size_t budget = kRangesPerAnswer;
  size_t ranged = 0;
  uint32_t smallest = 65535;
  uint32_t largest = 0;
  std::vector<uint16_t> values;
  const std::vector<std::shared_ptr<const StoredBlock>> kept = store.Kept();
  for (auto block = kept.rbegin(); block != kept.rend(); ++block) {
    uint32_t range = (*block)->range.load();
    if (range == kRangeUnknown && budget > 0) {
      --budget;
      uint16_t low = 0;
      uint16_t high = 0;
      ParseValues((*block)->text, (*block)->summary.count, &values);
      ValueRange(values, &low, &high);
      range = static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16;
      (*block)->range.store(range);
    }
    if (range == kRangeUnknown) continue;
    ++ranged;
    smallest = std::min(smallest, range & 0xFFFF);
    largest = std::max(largest, range >> 16);
  }
  const std::string low = ranged > 0 ? std::to_string(smallest) : "null";
  const std::string high = ranged > 0 ? std::to_string(largest) : "null";
  return "{\"min\":" + low + ",\"max\":" + high + ",\"ranged\":" + std::to_string(ranged) +
         ",\"kept\":" + std::to_string(kept.size()) + "}";
}

bool AllDigits(beast::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether `text` starts with `start`; if so, it is taken off.
bool TakeStart(beast::string_view* text, beast::string_view start) {
  if (text->substr(0, start.size()) != start) return false;
  text->remove_prefix(start.size());
  return true;
}

// An id: a number of up to 19 digits, which always fits 64 bits; or false.
bool ReadId(beast::string_view text, uint64_t* id) {
  if (text.size() > 19 || !AllDigits(text)) return false;
  *id = 0;
  for (char c : text) *id = *id * 10 + static_cast<uint64_t>(c - '0');
  return true;
}

}  // namespace

namespace {
class Session;
}  // namespace

// The server: its connections, each a Session, all on one thread.
class LiveServerImpl {
 public:
  explicit LiveServerImpl(BlockStore* store) : store_(store) {}

  bool Listen(const std::string& address, int port, const HostRules& hosts, std::string* err);
  bool Run(std::string* err);
  void Stop();
  int port() const { return port_; }

  BlockStore& store() { return *store_; }
  const HostRules& hosts() const { return hosts_; }
  // A session may stream news: false if kMostLivePages do already.
  bool StartStream();
  void Forget(std::list<std::shared_ptr<Session>>::iterator place, const std::string& client, bool streamed);

 private:
  // A socket listened on, and its pause after a failed accept.
  struct Listener {
    explicit Listener(asio::io_context& io) : acceptor(io), pause(io) {}
    tcp::acceptor acceptor;
    asio::steady_timer pause;
  };

  // Listens on `endpoint`, the port the plot's alone. False, with `*ec`.
  bool OpenListener(const tcp::endpoint& endpoint, beast::error_code* ec);
  void Accept(Listener* listener);
  void Admit(tcp::socket socket);
  // Closes the connection of `client` (of any client if empty) that has
  // waited longest for a request; false if none waits.
  bool CloseLongestWaiting(const std::string& client);
  void Tick();

  BlockStore* store_;
  HostRules hosts_;
  asio::io_context io_{1};
  std::vector<std::unique_ptr<Listener>> listeners_;  // the address served at, and its twin
  asio::steady_timer ticker_{io_};
  bool ticking_ = false;
  uint64_t told_ = ~uint64_t{0};  // the store's changes counted when `news_` was made
  std::string news_;
  std::list<std::shared_ptr<Session>> sessions_;  // the oldest first
  std::unordered_map<std::string, size_t> per_client_;
  int streams_ = 0;
  int port_ = 0;
  std::thread thread_;  // last: started once all else is ready
};

namespace {

// One connection: requests read and answered in turn, until it closes, or
// until it becomes a page's stream of news.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(LiveServerImpl* server, tcp::socket socket, std::string client)
      : server_(server), stream_(std::move(socket)), client_(std::move(client)) {
    beast::error_code ec;
    asio::ip::address local = stream_.socket().local_endpoint(ec).address();
    // An IPv4 browser on a socket of both families arrives as ::ffff:a.b.c.d;
    // its Host names a.b.c.d.
    if (local.is_v6() && local.to_v6().is_v4_mapped()) {
      local = asio::ip::make_address_v4(asio::ip::v4_mapped, local.to_v6());
    }
    local_ = local.to_string();
  }

  void Begin(std::list<std::shared_ptr<Session>>::iterator place) {
    place_ = place;
    ReadRequest();
  }

  // Closes the connection; its pending work ends with nothing done.
  void Close() {
    if (state_ == kClosed) return;
    const auto keep = shared_from_this();  // while the server lets go of it
    const bool streamed = state_ == kStreaming;
    state_ = kClosed;
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream_.close();
    server_->Forget(place_, client_, streamed);
  }

  // Waits for a request, or for the end of a connection it answered last:
  // nothing is lost if it is closed.
  bool waiting() const { return state_ == kWaiting || state_ == kFinishing; }
  bool streaming() const { return state_ == kStreaming; }
  Clock::time_point waiting_since() const { return since_; }
  const std::string& client() const { return client_; }

  // A page's news: sent if there is any and the last has gone out; the
  // page dropped if it has taken none for too long.
  void Tick(uint64_t changes, const std::string& news, Clock::time_point now) {
    if (writing_) {
      if (now - written_at_ > kStalledPage) Close();
      return;
    }
    if (changes != told_) {
      told_ = changes;
      Push(news);
    } else if (now - written_at_ > kQuietLimit) {
      Push(kStillHere);
    }
  }

 private:
  enum State { kWaiting, kAnswering, kStreaming, kFinishing, kClosed };

  // After the last answer: the sending side is shut, and what the client
  // still sends is read and passed over until it closes too (or a while
  // has gone by), so that the answer is not lost to a reset.
  void Finish() {
    state_ = kFinishing;
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    stream_.expires_after(kLingering);
    Drain();
  }

  void Drain() {
    stream_.async_read_some(asio::buffer(drain_), [self = shared_from_this()](beast::error_code ec, size_t) {
      if (self->state_ == kClosed) return;
      if (ec) return self->Close();
      self->Drain();
    });
  }

  void ReadRequest() {
    state_ = kWaiting;
    since_ = Clock::now();
    parser_.emplace();
    parser_->header_limit(kMostHeadBytes);
    parser_->body_limit(kMostBodyBytes);
    stream_.expires_after(kRequestDeadline);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRequest(ec); });
  }

  void OnRequest(beast::error_code ec) {
    if (state_ == kClosed) return;
    if (ec == http::error::body_limit) return Refuse(http::status::payload_too_large, "a request may carry at most 4096 bytes\n");
    if (ec == http::error::header_limit) {
      return Refuse(http::status::request_header_fields_too_large, "a request's head may be 8192 bytes at most\n");
    }
    if (ec && ec.category() == beast::error_code(http::error::bad_target).category() &&
        ec != http::error::end_of_stream && ec != http::error::partial_message) {
      return Refuse(http::status::bad_request, "that is no HTTP request\n");
    }
    if (ec) return Close();  // gone, timed out, or cut off
    state_ = kAnswering;
    Answer(parser_->release());
  }

  void Answer(const http::request<http::string_body>& request) {
    keep_alive_ = request.keep_alive();
    // Two Host fields name no one host: which of them a proxy or a browser
    // took is not known, so neither is believed.
    if (request.count(http::field::host) > 1) {
      return Refuse(http::status::bad_request, "a request names its host once, in one Host field\n");
    }
    if (!HostAllowed(std::string(request[http::field::host]), local_, server_->hosts())) {
      return Refuse(http::status::forbidden,
                    "telegram-plot answers only requests made to this computer by its own name or address "
                    "(127.0.0.1, localhost, [::1], or the address it was reached at); this one names another "
                    "host. To reach it by another name, start telegram-plot with --allow-host NAME.\n");
    }
    if (request.method() != http::verb::get) {
      response_.set(http::field::allow, "GET");
      return Refuse(http::status::method_not_allowed, "only GET is answered here\n");
    }
    beast::string_view target = request.target();
    beast::string_view query;
    const size_t mark = target.find('?');
    if (mark != beast::string_view::npos) {
      query = target.substr(mark + 1);
      target = target.substr(0, mark);
    }
    const BlockStore& store = server_->store();
    uint64_t id = 0;
    beast::string_view rest = target;
    if (target == "/events") return StartStream();
    if (target == "/blocks") {
      uint64_t after = 0;
      if (!query.empty() && !(TakeStart(&query, "after=") && ReadId(query, &after))) {
        return Refuse(http::status::bad_request, "/blocks takes after=ID, an id of up to 19 digits\n");
      }
      bool more = false;
      std::string json = "{\"state\":" + StateJson(store.state()) + ",\"blocks\":[";
      bool first = true;
      for (const BlockSummary& summary : store.Summaries(after, kSummariesPerAnswer, &more)) {
        if (!first) json += ',';
        json += SummaryJson(summary);
        first = false;
      }
      json += std::string("],\"more\":") + (more ? "true" : "false") + "}";
      return Send(http::status::ok, "application/json", std::move(json), true);
    }
    if (TakeStart(&rest, "/values/") && ReadId(rest, &id)) {
      auto block = store.ById(id);
      if (!block) return Refuse(http::status::not_found, "no such block kept\n");
      // The block's own text goes out, not a copy: the answer holds on to
      // the block until it has gone.
      const std::string_view text = block->text;
      sending_ = std::move(block);
      return SendView(http::status::ok, "text/plain; charset=us-ascii", text, true);
    }
    if (target == "/range") return Send(http::status::ok, "application/json", RangeJson(store), true);
    for (const PageAsset& asset : PageAssets()) {
      const std::string route = std::string("/") + (std::string(asset.name) == "index.html" ? "" : asset.name);
      if (target == route) return SendView(http::status::ok, asset.type, asset.bytes, false);
    }
    Refuse(http::status::not_found, "no such page\n");
  }

  // An answer that ends the connection.
  void Refuse(http::status status, std::string words) {
    keep_alive_ = false;
    Send(status, kText, std::move(words), true);
  }

  void Send(http::status status, const char* type, std::string body, bool no_store) {
    body_ = std::move(body);
    SendView(status, type, body_, no_store);
  }

  // An answer whose bytes stay where they are (body_, a block held in
  // sending_, the page's own) until it has gone.
  void SendView(http::status status, const char* type, std::string_view body, bool no_store) {
    response_.result(status);
    response_.version(11);
    response_.set(http::field::content_type, type);
    response_.set("X-Content-Type-Options", "nosniff");
    if (no_store) response_.set(http::field::cache_control, "no-store");
    response_.body() = http::span_body<const char>::value_type(body.data(), body.size());
    response_.keep_alive(keep_alive_);
    response_.prepare_payload();
    state_ = kAnswering;
    stream_.expires_after(kAnswerDeadline);
    http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code ec, size_t) {
      if (self->state_ == kClosed) return;
      if (ec) return self->Close();
      self->response_ = {};
      self->body_ = std::string();
      self->sending_.reset();
      if (self->keep_alive_) return self->ReadRequest();
      self->Finish();
    });
  }

  // The page's stream of news: its head and the first news at once, then
  // the news at each tick of the server's.
  void StartStream() {
    if (!server_->StartStream()) {
      response_.set(http::field::retry_after, "5");
      return Refuse(http::status::service_unavailable,
                    "too many pages open: the news goes to 8 pages at most; close one and reload\n");
    }
    state_ = kStreaming;
    stream_.expires_never();
    // A small send buffer, so that a page that takes nothing is found out
    // within seconds, not once megabytes of news have piled up for it.
    beast::error_code ignored;
    stream_.socket().set_option(asio::socket_base::send_buffer_size(kPageSendBuffer), ignored);
    told_ = server_->store().changes();
    Push(kStreamHead + News(server_->store()));
    // Nothing more comes from a page; the end of its connection does.
    stream_.async_read_some(asio::buffer(&probe_, 1), [self = shared_from_this()](beast::error_code, size_t) {
      self->Close();
    });
  }

  void Push(std::string text) {
    writing_ = true;
    written_at_ = Clock::now();
    out_ = std::move(text);
    asio::async_write(stream_.socket(), asio::buffer(out_), [self = shared_from_this()](beast::error_code ec, size_t) {
      if (self->state_ == kClosed) return;
      if (ec) return self->Close();
      self->writing_ = false;
      self->written_at_ = Clock::now();
    });
  }

  LiveServerImpl* server_;
  beast::tcp_stream stream_;
  const std::string client_;  // the peer's address
  std::string local_;         // the address it reached this computer at
  std::list<std::shared_ptr<Session>>::iterator place_;
  State state_ = kWaiting;
  Clock::time_point since_;  // when it began to wait for a request
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  http::response<http::span_body<const char>> response_;
  std::string body_;                           // an answer's bytes made for it
  std::shared_ptr<const StoredBlock> sending_;  // a block whose text goes out
  bool keep_alive_ = false;
  // A page's stream:
  std::string out_;  // the news going out
  bool writing_ = false;
  Clock::time_point written_at_;
  uint64_t told_ = 0;  // the store's changes counted at the last news
  char probe_ = 0;
  char drain_[512] = {};
};

}  // namespace

namespace {

// The loopback of the other family, which "localhost" also names, for an
// address whose port must be the plot's there too: 127.0.0.1 and 0.0.0.0
// (which holds 127.0.0.1) have [::1], [::1] has 127.0.0.1.
std::optional<asio::ip::address> LocalhostTwin(const asio::ip::address& address) {
  if (address == asio::ip::address_v4::loopback() || address == asio::ip::address_v4::any()) {
    return asio::ip::address(asio::ip::address_v6::loopback());
  }
  if (address == asio::ip::address_v6::loopback()) return asio::ip::address(asio::ip::address_v4::loopback());
  return std::nullopt;
}

}  // namespace

bool LiveServerImpl::OpenListener(const tcp::endpoint& endpoint, beast::error_code* ec) {
  auto listener = std::make_unique<Listener>(io_);
  tcp::acceptor& acceptor = listener->acceptor;
  acceptor.open(endpoint.protocol(), *ec);
  if (!*ec) {
    const int exclusive = MakePortExclusive(static_cast<uintptr_t>(acceptor.native_handle()));
    if (exclusive != 0) ec->assign(exclusive, asio::error::get_system_category());
  }
  // [::] takes IPv4 too, on every system, so that localhost reaches it
  // whichever family it is tried in.
  if (!*ec && endpoint.address() == asio::ip::address_v6::any()) {
    beast::error_code ignored;
    acceptor.set_option(asio::ip::v6_only(false), ignored);
  }
  if (!*ec) acceptor.bind(endpoint, *ec);
  if (!*ec) acceptor.listen(asio::socket_base::max_listen_connections, *ec);
  if (*ec) return false;
  listeners_.push_back(std::move(listener));
  return true;
}

bool LiveServerImpl::Listen(const std::string& address, int port, const HostRules& hosts, std::string* err) {
  hosts_ = hosts;
  const std::string where = UrlHostPort(address, port);
  beast::error_code ec;
  tcp::resolver resolver(io_);
  const auto found = resolver.resolve(address, std::to_string(port),
                                      tcp::resolver::passive | tcp::resolver::numeric_service, ec);
  if (ec || found.empty()) {
    *err = "cannot listen on " + where + ": no such address here";
    return false;
  }
  const tcp::endpoint endpoint = found.begin()->endpoint();
  const std::optional<asio::ip::address> twin = LocalhostTwin(endpoint.address());
  // Any free port (0) is looked for again while the twin's is taken.
  const int attempts = port == 0 && twin ? 20 : 1;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    listeners_.clear();
    if (!OpenListener(endpoint, &ec)) {
      if (ec == asio::error::address_in_use || ec == asio::error::access_denied) {
        *err = "cannot listen on " + where + ": that port is in use";
      } else if (ec == boost::system::errc::address_not_available) {
        *err = "cannot listen on " + where + ": no such address here";
      } else {
        *err = "cannot listen on " + where + ": " + ec.message();
      }
      return false;
    }
    port_ = listeners_.front()->acceptor.local_endpoint(ec).port();
    if (ec) {
      *err = "cannot listen on " + where + ": " + ec.message();
      return false;
    }
    if (!twin || OpenListener(tcp::endpoint(*twin, static_cast<unsigned short>(port_)), &ec)) break;
    // A system without the other family has no such loopback for another
    // program to take either.
    if (ec == boost::system::errc::address_not_available || ec == asio::error::address_family_not_supported ||
        ec == boost::system::errc::protocol_not_supported) {
      break;
    }
    const std::string twin_where = UrlHostPort(twin->to_string(), port_);
    if (ec != asio::error::address_in_use && ec != asio::error::access_denied) {
      *err = "cannot listen on " + twin_where + ", which localhost also names: " + ec.message();
      return false;
    }
    if (attempt == attempts) {
      *err = "cannot listen on " + UrlHostPort(address, port_) + ": localhost also names " + twin_where +
             ", where another program listens; a browser could reach it instead (stop it, or serve at another "
             "port)";
      return false;
    }
  }
  // The address it was asked to serve at, if a name, is this computer's.
  if (!IsLoopbackAddress(address)) hosts_.allowed.push_back(HostName(address));
  for (const auto& listener : listeners_) Accept(listener.get());
  return true;
}

bool LiveServerImpl::Run(std::string* err) {
  // A thread is the one thing here the standard library can only refuse
  // with an exception; it is said as the others are.
  try {
    thread_ = std::thread([this] { io_.run(); });
  } catch (const std::system_error& error) {
    *err = std::string("cannot start the server's thread: ") + error.what();
    return false;
  }
  return true;
}

void LiveServerImpl::Stop() {
  io_.stop();
  if (thread_.joinable()) thread_.join();
}

void LiveServerImpl::Accept(Listener* listener) {
  listener->acceptor.async_accept([this, listener](beast::error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted) return;
    if (ec) {
      // Out of file descriptors, most likely: one waiting connection goes,
      // and the next is taken after a pause, not at once in a loop.
      CloseLongestWaiting("");
      listener->pause.expires_after(kAcceptPause);
      listener->pause.async_wait([this, listener](beast::error_code) { Accept(listener); });
      return;
    }
    Admit(std::move(socket));
    Accept(listener);
  });
}

void LiveServerImpl::Admit(tcp::socket socket) {
  beast::error_code ec;
  const tcp::endpoint peer = socket.remote_endpoint(ec);
  if (ec) return;  // gone already
  const std::string client = peer.address().to_string();
  // Room is made by closing a connection that waits for its request: one
  // that does nothing gives way to one that may.
  if ((per_client_[client] >= kMostConnectionsPerClient && !CloseLongestWaiting(client)) ||
      (sessions_.size() >= kMostConnections && !CloseLongestWaiting(""))) {
    socket.close(ec);
    return;
  }
  ++per_client_[client];
  auto session = std::make_shared<Session>(this, std::move(socket), client);
  sessions_.push_back(session);
  session->Begin(std::prev(sessions_.end()));
}

bool LiveServerImpl::CloseLongestWaiting(const std::string& client) {
  Session* longest = nullptr;
  for (const auto& session : sessions_) {
    if (!session->waiting() || (!client.empty() && session->client() != client)) continue;
    if (longest == nullptr || session->waiting_since() < longest->waiting_since()) longest = session.get();
  }
  if (longest == nullptr) return false;
  longest->Close();
  return true;
}

bool LiveServerImpl::StartStream() {
  if (streams_ >= kMostLivePages) return false;
  ++streams_;
  if (!ticking_) {
    ticking_ = true;
    Tick();
  }
  return true;
}

void LiveServerImpl::Forget(std::list<std::shared_ptr<Session>>::iterator place, const std::string& client,
                                bool streamed) {
  if (streamed) --streams_;
  const auto count = per_client_.find(client);
  if (count != per_client_.end() && --count->second == 0) per_client_.erase(count);
  sessions_.erase(place);
}

void LiveServerImpl::Tick() {
  if (streams_ == 0) {
    ticking_ = false;
    return;
  }
  const uint64_t changes = store_->changes();
  if (changes != told_) {
    told_ = changes;
    news_ = News(*store_);
  }
  std::vector<std::shared_ptr<Session>> pages;
  for (const auto& session : sessions_) {
    if (session->streaming()) pages.push_back(session);
  }
  const auto now = Clock::now();
  for (const auto& page : pages) page->Tick(changes, news_, now);
  ticker_.expires_after(kNewsInterval);
  ticker_.async_wait([this](beast::error_code ec) {
    if (!ec) Tick();
  });
}

LiveServer::LiveServer(BlockStore* store) : server_(std::make_unique<LiveServerImpl>(store)) {}

LiveServer::~LiveServer() { Stop(); }

bool LiveServer::Start(const std::string& address, int port, const HostRules& hosts, std::string* err) {
  return server_->Listen(address, port, hosts, err) && server_->Run(err);
}

int LiveServer::port() const { return server_->port(); }

void LiveServer::Stop() { server_->Stop(); }

std::string UrlHostPort(const std::string& address, int port) {
  const bool v6 = address.find(':') != std::string::npos;
  return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}
