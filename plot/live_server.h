// telegram-plot --serve: the page, the blocks kept and each block's
// values, over HTTP from fixed routes only (nothing on the disk is served
// by its path), and the news of each block pushed to the page as it
// arrives (Server-Sent Events). Threads of its own answer the browsers, a
// bounded number of them, and idle connections time out; a slow or stalled
// browser is sent only the newest news, never a queue of it, and never
// holds up the reading of the report.
#ifndef PLOT_LIVE_SERVER_H_
#define PLOT_LIVE_SERVER_H_

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "plot/block_store.h"

namespace httplib {
class Server;
}

// Pages pushed to at once, at most; one more is turned away (503).
const int kMostLivePages = 8;

class LiveServer {
 public:
  explicit LiveServer(BlockStore* store);
  // Stops it and waits for its threads.
  ~LiveServer();
  LiveServer(const LiveServer&) = delete;
  LiveServer& operator=(const LiveServer&) = delete;

  // Listens on `address`:`port` (port 0: any free one) and answers from a
  // thread of its own. False, with `*err`, if it cannot listen there.
  bool Start(const std::string& address, int port, std::string* err);
  // The port it listens on.
  int port() const { return port_; }
  void Stop();

 private:
  void AddRoutes();

  BlockStore* store_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<int> live_pages_{0};
};

#endif  // PLOT_LIVE_SERVER_H_
