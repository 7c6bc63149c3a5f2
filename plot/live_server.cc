#include "plot/live_server.h"

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "plot/page_assets.h"

namespace {

// Threads that answer the browsers, and connections waiting for one; a
// connection beyond them is closed at once.
const size_t kAnsweringThreads = 16;
const size_t kMostWaiting = 64;
// An idle connection, or one that takes nothing, is closed after this.
const time_t kIdleSeconds = 5;
// A page that has had no news for this long gets a comment, so that a
// connection gone dead is noticed.
const auto kQuietLimit = std::chrono::seconds(15);
// How often a page's thread looks whether the server is stopping.
const auto kLook = std::chrono::milliseconds(250);
// News goes to a page no more often than this: faster than a screen draws,
// so that the newest block shows at once, and no faster, so that a page
// costs the reading of the report little at the receiver's full rate.
const auto kNewsInterval = std::chrono::milliseconds(20);

const char kJson[] = "application/json";
const char kNoStore[] = "no-store";

// The news a page is pushed: how far the report has come, and the newest
// block.
std::string News(const BlockStore& store) {
  const auto newest = store.Newest();
  return "event: news\ndata: {\"state\":" + StateJson(store.state()) +
         ",\"newest\":" + (newest ? SummaryJson(newest->summary) : std::string("null")) + "}\n\n";
}

}  // namespace

LiveServer::LiveServer(BlockStore* store) : store_(store), server_(std::make_unique<httplib::Server>()) {}

LiveServer::~LiveServer() { Stop(); }

void LiveServer::AddRoutes() {
  httplib::Server& server = *server_;
  for (const PageAsset& asset : PageAssets()) {
    const std::string route = std::string("/") + (std::string(asset.name) == "index.html" ? "" : asset.name);
    server.Get(route, [&asset](const httplib::Request&, httplib::Response& response) {
      response.set_content(asset.bytes, asset.type);
    });
  }

  // The report's state and the summaries of the blocks kept, or of those
  // after a given one.
  server.Get("/blocks", [this](const httplib::Request& request, httplib::Response& response) {
    uint64_t after = 0;
    if (request.has_param("after")) after = strtoull(request.get_param_value("after").c_str(), nullptr, 10);
    std::string json = "{\"state\":" + StateJson(store_->state()) + ",\"blocks\":[";
    bool first = true;
    for (const BlockSummary& summary : store_->Summaries(after)) {
      if (!first) json += ',';
      json += SummaryJson(summary);
      first = false;
    }
    json += "]}";
    response.set_header("Cache-Control", kNoStore);
    response.set_content(json, kJson);
  });

  // A block's values, as little-endian 16-bit numbers, by its id.
  server.Get(R"(/values/(\d{1,19}))", [this](const httplib::Request& request, httplib::Response& response) {
    const auto block = store_->ById(strtoull(request.matches[1].str().c_str(), nullptr, 10));
    if (!block) {
      response.status = 404;
      response.set_content("no such block kept\n", "text/plain");
      return;
    }
    response.set_header("Cache-Control", kNoStore);
    response.set_content(ValuesBytes(block->values), "application/octet-stream");
  });

  // A block's values as CSV, by its name, as the folder names them.
  server.Get(R"(/(scan--?\d{1,20}-block-\d{1,5}(-\d{1,9})?)\.csv)",
             [this](const httplib::Request& request, httplib::Response& response) {
               const auto block = store_->ByName(request.matches[1].str());
               if (!block) {
                 response.status = 404;
                 response.set_content("no such block kept\n", "text/plain");
                 return;
               }
               std::string csv;
               AppendValuesCsv(block->values, &csv);
               response.set_header("Cache-Control", kNoStore);
               response.set_content(std::move(csv), "text/csv; charset=utf-8");
             });

  // The news, pushed as it comes: only ever the newest, so that a page
  // that reads slowly misses news, and never holds anything up.
  server.Get("/events", [this](const httplib::Request&, httplib::Response& response) {
    if (++live_pages_ > kMostLivePages) {
      --live_pages_;
      response.status = 503;
      response.set_content("too many pages open\n", "text/plain");
      return;
    }
    response.set_header("Cache-Control", kNoStore);
    // What this page has been told: the changes counted then, and when.
    struct Told {
      bool once = false;
      uint64_t changes = 0;
      std::chrono::steady_clock::time_point at;
    };
    auto told = std::make_shared<Told>();
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, told](size_t, httplib::DataSink& sink) {
          const uint64_t now = told->once ? store_->WaitForChange(told->changes, kLook) : store_->changes();
          if (store_->closed()) return false;
          if (told->once && now == told->changes) {
            if (std::chrono::steady_clock::now() - told->at < kQuietLimit) return true;
            told->at = std::chrono::steady_clock::now();
            return sink.write(": still here\n\n", 14);
          }
          const auto since = std::chrono::steady_clock::now() - told->at;
          if (told->once && since < kNewsInterval) std::this_thread::sleep_for(kNewsInterval - since);
          told->once = true;
          told->changes = store_->changes();
          told->at = std::chrono::steady_clock::now();
          const std::string news = News(*store_);
          return sink.write(news.data(), news.size());
        },
        [this](bool) { --live_pages_; });
  });
}

bool LiveServer::Start(const std::string& address, int port, std::string* err) {
  httplib::Server& server = *server_;
  server.new_task_queue = [] { return new httplib::ThreadPool(kAnsweringThreads, kAnsweringThreads, kMostWaiting); };
  server.set_read_timeout(kIdleSeconds, 0);
  server.set_write_timeout(kIdleSeconds, 0);
  server.set_keep_alive_timeout(kIdleSeconds);
  server.set_payload_max_length(4096);
  AddRoutes();
  port_ = port == 0 ? server.bind_to_any_port(address) : (server.bind_to_port(address, port) ? port : -1);
  if (port_ <= 0) {
    *err = "cannot listen on " + address + ":" + std::to_string(port) +
           " (in use, or no such address here)";
    return false;
  }
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return true;
}

void LiveServer::Stop() {
  store_->Close();
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}
