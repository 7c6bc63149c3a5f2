// telegram-plot --serve: the page, the blocks kept, each block's values
// (as the report prints them) and the range of their values, over HTTP
// from fixed routes only (nothing on the disk is served by its path), and
// the news of each block pushed to the page as it arrives (Server-Sent
// Events). Each answer costs the server little: a block's values go out
// as they are kept, without a copy.
//
// One thread answers every connection, none of which can hold up another:
// each waits for its request without blocking the others, a whole request
// must come within a deadline, a client may hold only so many connections
// (beyond them its longest-waiting one is closed), and a page that takes
// no news is sent only the newest, then dropped if it takes none for long.
// Only requests that name this computer (their Host) are answered, so that
// no other web site can read the data through a visitor's browser.
#ifndef PLOT_LIVE_SERVER_H_
#define PLOT_LIVE_SERVER_H_

#include <cstddef>
#include <memory>
#include <string>

#include "plot/block_store.h"
#include "plot/host_check.h"

// Pages pushed to at once, at most; one more is turned away (503).
const int kMostLivePages = 8;
// Summaries in one answer of /blocks, at most; the page asks on for more.
const size_t kSummariesPerAnswer = 1000;
// Connections open at once, from one client and from all.
const size_t kMostConnectionsPerClient = 64;
const size_t kMostConnections = 512;

class LiveServerImpl;

class LiveServer {
 public:
  explicit LiveServer(BlockStore* store);
  // Stops it and waits for its thread.
  ~LiveServer();
  LiveServer(const LiveServer&) = delete;
  LiveServer& operator=(const LiveServer&) = delete;

  // Listens on `address`:`port` (port 0: any free one), the port its alone,
  // and answers from a thread of its own. Served at a loopback (or at
  // 0.0.0.0), it listens at the other family's loopback too, which
  // "localhost" also names, so that no other program there answers a
  // browser in its place. False, with `*err`, if it cannot listen there (or
  // there), or the thread cannot be had.
  bool Start(const std::string& address, int port, const HostRules& hosts, std::string* err);
  // The port it listens on.
  int port() const;
  void Stop();

 private:
  std::unique_ptr<LiveServerImpl> server_;
};

// "ADDRESS:PORT" as a URL writes it: an IPv6 address in brackets.
std::string UrlHostPort(const std::string& address, int port);

#endif  // PLOT_LIVE_SERVER_H_
