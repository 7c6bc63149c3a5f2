// telegram-plot: every block of values in a report of telegram-receiver, on
// a page to explore: written into a folder (a picture, the values as CSV,
// and the page, which works from the disk), or served live to a browser
// (--serve), or both. It reads the report from a file or from standard
// input, finished or still being written.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "plot/block_reader.h"
#include "plot/block_store.h"
#include "plot/live_server.h"
#include "plot/plot_folder.h"
#include "plot/plot_options.h"
#include "plot/report_input.h"

namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int /*signal_number*/) { interrupted = 1; }

void Say(const std::string& message) { fprintf(stderr, "telegram-plot: %s\n", message.c_str()); }

int Fail(const std::string& message, int status) {
  Say(message);
  return status;
}

// Where the blocks go: the folder, the server's store, or both.
class Showing {
 public:
  // `run_name` names the source once it is known to be a report, if
  // given.
  Showing(const PlotOptions& options, const std::string& source, const std::string& run_name)
      : options_(options), source_(source), run_name_(run_name) {}

  // Starts the server, if one is asked for. False, with `*err`.
  bool Serve(std::string* err) {
    if (options_.serve.empty()) return true;
    store_ = std::make_unique<BlockStore>(source_, static_cast<size_t>(options_.keep),
                                          static_cast<size_t>(options_.memory_mib) << 20);
    server_ = std::make_unique<LiveServer>(store_.get());
    HostRules hosts;
    hosts.allowed = options_.allowed_hosts;
    if (!server_->Start(options_.serve_address, static_cast<int>(options_.serve_port), hosts, err)) return false;
    const std::string where = UrlHostPort(options_.serve_address, server_->port());
    Say("serving the report at http://" + where + "/ (Ctrl-C ends it)");
    if (!IsLoopbackAddress(options_.serve_address)) {
      Say("anyone who can reach " + where + " sees the report's data");
    }
    return true;
  }

  // Once the input is known to be a report: its source named, and the
  // folder, if one is asked for. False, with `*err`: its exit status in
  // `*status`.
  bool Begin(std::string* err, int* status) {
    if (!begun_) {
      begun_ = true;
      if (!run_name_.empty()) source_ = run_name_;
      if (store_) store_->SetSource(source_);
    }
    if (options_.output.empty() || folder_ready_) return true;
    if (!folder_.Prepare(options_.output, options_.force, err, status)) return false;
    folder_ready_ = true;
    return true;
  }

  // The blocks read: those with values shown (and their values taken).
  bool Show(std::vector<ReportBlock>* blocks, std::string* err) {
    for (ReportBlock& block : *blocks) {
      if (block.values.empty()) continue;
      if (folder_ready_ && !folder_.Add(block, err)) return false;
      if (store_) store_->Add(std::move(block));
    }
    return true;
  }

  // How far the report has come; the folder's state at most once a second.
  bool Progress(long telegrams, std::string* err) {
    if (store_) store_->SetTelegrams(telegrams);
    const auto now = std::chrono::steady_clock::now();
    if (!folder_ready_ || now - state_written_ < std::chrono::seconds(1)) return true;
    state_written_ = now;
    return folder_.WriteState(ReportState{source_, telegrams, 0, 0, true, false, ""}, err);
  }

  // The report is over: whole, cut short, or damaged.
  bool End(long telegrams, bool whole, const std::string& damage, std::string* err) {
    if (store_) {
      store_->SetTelegrams(telegrams);
      store_->End(whole, damage);
    }
    return !folder_ready_ || folder_.WriteState(ReportState{source_, telegrams, 0, 0, false, whole, damage}, err);
  }

  // Serves until Ctrl-C, if serving.
  void ServeUntilInterrupted() {
    if (!server_) return;
    while (interrupted == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server_->Stop();
  }

  bool folder_ready() const { return folder_ready_; }
  uint64_t blocks() const { return folder_ready_ ? folder_.blocks() : store_ ? store_->state().blocks : 0; }

 private:
  const PlotOptions& options_;
  std::string source_;
  const std::string run_name_;
  bool begun_ = false;
  PlotFolder folder_;
  bool folder_ready_ = false;
  std::chrono::steady_clock::time_point state_written_;
  std::unique_ptr<BlockStore> store_;
  std::unique_ptr<LiveServer> server_;  // after the store, which it serves: stopped first
};

// What is shown when the report comes through a pipe: the receiver's run,
// and when it began.
std::string RunName() {
  const std::time_t now = std::time(nullptr);
  char when[32] = "";
  // Once, before any other thread could call it.
  // cppcheck-suppress localtimeCalled
  const std::tm* local = std::localtime(&now);  // NOLINT(concurrency-mt-unsafe)
  if (local == nullptr || std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", local) == 0) return "standard input";
  return std::string("telegram-receiver's run of ") + when + " (standard input)";
}

// The last word on what the standard library could only throw: memory or a
// thread that cannot be had. One line and status 1, never an abort.
[[noreturn]] void OnTerminate() {
  std::string cause = "an unexpected failure";
  try {
    const std::exception_ptr current = std::current_exception();
    if (current) std::rethrow_exception(current);
  } catch (const std::bad_alloc&) {
    cause = "out of memory";
  } catch (const std::exception& error) {
    cause = error.what();
  } catch (...) {
  }
  Say("cannot go on: " + cause);
  std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  std::set_terminate(OnTerminate);
  PlotOptions options;
  std::string err;
  int status = 0;
  if (AnswerCommandLine(ParsePlotOptions(argc, argv, &options, &err), "telegram-plot", PlotUsage, err, &status)) {
    return status;
  }
  const bool from_stdin = options.input.empty() || options.input == "-";
  const std::string source = from_stdin ? "standard input" : options.input;
  ReportInput input;
  // A file served is followed until its run is over.
  std::error_code is_folder;
  if (!from_stdin && fs::is_directory(options.input, is_folder)) {
    return Fail("cannot read " + source + ": it is a folder, not a report", 2);
  }
  if (!input.Open(options.input, options.follow || !options.serve.empty(), &err)) {
    return Fail("cannot read " + source + ": " + err, 2);
  }
  // An interrupt ends the reading at the input's next pause, with the page
  // made whole, and then the serving.
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  Showing showing(options, source, from_stdin ? RunName() : "");
  if (!showing.Serve(&err)) return Fail(err, 2);
  BlockReader reader;
  if (!reader.ok()) return Fail("cannot go on: out of memory", 1);
  std::vector<ReportBlock> blocks;
  std::string piece;
  while (input.Next(&piece, 100)) {
    if (interrupted != 0) input.StopAtPause();
    if (reader.finished()) input.StopFollowing();
    if (piece.empty()) continue;
    const bool report = reader.Read(piece.data(), piece.size(), &blocks);
    // The folder is written once the input is known to be a report.
    if (reader.started() && !showing.Begin(&err, &status)) return Fail(err, status);
    if (!showing.Show(&blocks, &err) || !showing.Progress(reader.telegrams(), &err)) return Fail(err, 1);
    blocks.clear();
    if (!report) {
      showing.End(reader.telegrams(), false, reader.error(), &err);
      Say(source + ": " + reader.error());
      showing.ServeUntilInterrupted();
      return 2;
    }
  }
  if (input.error() != 0) return Fail("cannot read " + source + ": " + strerror(input.error()), 1);
  if (!reader.End(&blocks)) {
    showing.End(reader.telegrams(), false, reader.error(), &err);
    Say(source + ": " + reader.error());
    showing.ServeUntilInterrupted();
    return 2;
  }
  if (!showing.Begin(&err, &status)) return Fail(err, status);
  if (!showing.Show(&blocks, &err) || !showing.End(reader.telegrams(), reader.finished(), "", &err)) return Fail(err, 1);
  const uint64_t shown = showing.blocks();
  std::string said = std::to_string(shown) + (shown == 1 ? " block" : " blocks") + " with values of " +
                     std::to_string(reader.telegrams()) + (reader.telegrams() == 1 ? " telegram" : " telegrams");
  if (showing.folder_ready()) said += " in " + (fs::path(options.output) / "index.html").string();
  Say(said);
  showing.ServeUntilInterrupted();
  return 0;
}
