// telegram-plot: every block of values in a report of telegram-receiver, on
// a page to explore: written into a folder (each block's values, and the
// page, which works from the disk), or served live to a browser (--serve),
// or both. It reads the report from a file or from standard input,
// finished or still being written, at the pace it comes: a block's values
// are kept as the report prints them, and made numbers only where a page
// or a picture asks for them. Or it takes the telegrams themselves,
// received on a UDP port or read from a capture, each block with its
// sender.
#include <algorithm>
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
#include "plot/folder_writer.h"
#include "plot/live_server.h"
#include "plot/plot_options.h"
#include "plot/report_input.h"
#include "plot/telegram_input.h"

namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int /*signal_number*/) { interrupted = 1; }

void Say(const std::string& message) { fprintf(stderr, "telegram-plot: %s\n", message.c_str()); }

int Fail(const std::string& message, int status) {
  Say(message);
  return status;
}

// How often, at most, the folder is told how far the report has come.
const auto kProgressInterval = std::chrono::milliseconds(250);

// Where the blocks go: the folder, the server's store, or both.
class Showing {
 public:
  // `run_name` names the source once it is known to be a report, if
  // given; `input` says what the source is (ReportState::input).
  Showing(const PlotOptions& options, const std::string& source, const std::string& run_name,
          const std::string& input = "")
      : options_(options), memory_(ShareMemory(options.memory_mib)), source_(source), run_name_(run_name),
        input_(input) {}

  // Starts the server, if one is asked for. False, with `*err`.
  bool Serve(std::string* err) {
    if (options_.serve.empty()) return true;
    store_ = std::make_unique<BlockStore>(source_, static_cast<size_t>(options_.keep), memory_.kept);
    store_->SetSource(source_, input_);
    server_ = std::make_unique<LiveServer>(store_.get());
    HostRules hosts;
    hosts.allowed = options_.allowed_hosts;
    if (!server_->Start(options_.serve_address, static_cast<int>(options_.serve_port), hosts, err)) return false;
    const std::string where = UrlHostPort(options_.serve_address, server_->port());
    const char* what = input_.empty() ? "the report" : "the telegrams";
    Say(std::string("serving ") + what + " at http://" + where + "/ (Ctrl-C ends it)");
    if (!IsLoopbackAddress(options_.serve_address)) {
      Say("anyone who can reach " + where + " sees " + (input_.empty() ? "the report's" : "the telegrams'") + " data");
    }
    return true;
  }

  // Once the input is known to be a report: its source named, and the
  // folder, if one is asked for; blocks passed over in it when the disk is
  // behind, if the input `holds_up_writer`. False, with `*err`: its exit
  // status in `*status`.
  bool Begin(bool holds_up_writer, std::string* err, int* status) {
    if (!begun_) {
      begun_ = true;
      if (!run_name_.empty()) source_ = run_name_;
      if (store_) store_->SetSource(source_, input_);
    }
    if (options_.output.empty() || folder_.started()) return true;
    FolderFiles files;
    files.pictures = options_.pictures;
    files.csv = options_.csv;
    return folder_.Start(options_.output, options_.force, files, memory_.unwritten, holds_up_writer, err, status);
  }

  // The blocks read: those with values shown (their values taken).
  bool Show(std::vector<ReportBlock>* blocks, std::string* err) {
    for (ReportBlock& block : *blocks) {
      if (block.text_values == 0) continue;
      if (!folder_.started()) {
        if (store_) store_->Add(std::move(block));
      } else if (!store_) {
        if (!ToFolder(std::move(block), err)) return false;
      } else {
        // Both: the folder gets a copy, the store the block itself.
        if (!ToFolder(ReportBlock(block), err)) return false;
        store_->Add(std::move(block));
      }
    }
    return true;
  }

  bool ToFolder(ReportBlock&& block, std::string* err) {
    if (!folder_.Add(std::move(block))) {
      *err = folder_.failure();
      return false;
    }
    if (folder_.passed_over() > 0 && !said_behind_) {
      said_behind_ = true;
      Say("the disk cannot keep up with the report: blocks are passed over in " + options_.output +
          " (counted on its page) while the reading goes on");
    }
    return true;
  }

  // How far the report has come; the folder told at most every so often.
  void Progress(long telegrams) {
    if (store_) store_->SetTelegrams(telegrams);
    const auto now = std::chrono::steady_clock::now();
    if (!folder_.started() || now - progress_told_ < kProgressInterval) return;
    progress_told_ = now;
    folder_.SetState(ReportState{source_, telegrams, 0, 0, 0, true, false, "", input_});
  }

  // The report is over: whole, cut short, or damaged. Every block waiting
  // is written. False, with `*err`, if a file could not be.
  bool End(long telegrams, bool whole, const std::string& damage, std::string* err) {
    if (store_) {
      store_->SetTelegrams(telegrams);
      store_->End(whole, damage);
    }
    return folder_.Finish(ReportState{source_, telegrams, 0, 0, 0, false, whole, damage, input_}, err);
  }

  // Serves until Ctrl-C, if serving.
  void ServeUntilInterrupted() {
    if (!server_) return;
    while (interrupted == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server_->Stop();
  }

  bool folder_ready() const { return folder_.started(); }
  uint64_t blocks() const { return folder_.started() ? folder_.blocks() : store_ ? store_->state().blocks : 0; }
  uint64_t passed_over() const { return folder_.passed_over(); }

 private:
  const PlotOptions& options_;
  const MemoryShares memory_;
  std::string source_;
  const std::string run_name_;
  const std::string input_;
  bool begun_ = false;
  FolderWriter folder_;
  bool said_behind_ = false;
  std::chrono::steady_clock::time_point progress_told_;
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
// thread that cannot be had. One line and status 1, never an abort: made
// without allocating, since memory may be what ran out.
[[noreturn]] void OnTerminate() {
  const char* cause = "an unexpected failure";
  try {
    const std::exception_ptr current = std::current_exception();
    if (current) std::rethrow_exception(current);
  } catch (const std::bad_alloc&) {
    cause = "out of memory (--memory bounds what the report's data may take)";
  } catch (const std::exception& error) {
    cause = error.what();
  } catch (...) {
  }
  char line[512];
  const int length = snprintf(line, sizeof line, "telegram-plot: cannot go on: %s\n", cause);
  if (length > 0) fwrite(line, 1, std::min(sizeof line - 1, static_cast<size_t>(length)), stderr);
  std::_Exit(1);
}

}  // namespace

// Where the report stops being one, said, and the page made to say so
// too; its exit status.
int Damaged(Showing* showing, const BlockReader& reader, const std::string& source) {
  std::string err;
  if (!showing->End(reader.telegrams(), false, reader.error(), &err)) Say(err);
  Say(source + ": " + reader.error());
  showing->ServeUntilInterrupted();
  return 2;
}

// "12 blocks with values of 40 telegrams".
std::string BlocksOf(uint64_t blocks, long telegrams) {
  return std::to_string(blocks) + (blocks == 1 ? " block" : " blocks") + " with values of " +
         std::to_string(telegrams) + (telegrams == 1 ? " telegram" : " telegrams");
}

// The blocks of the telegrams themselves: received until Ctrl-C, or read
// from a capture to its end.
int ShowTelegrams(const PlotOptions& options) {
  TelegramInputPlan plan;
  plan.capture = options.capture;
  plan.address = options.address;
  plan.interface_name = options.interface_name;
  plan.port = static_cast<uint16_t>(options.port);
  plan.sources = options.sources;
  TelegramInput input;
  std::string err;
  int status = 0;
  if (!input.Open(plan, &err)) return Fail(err, 2);
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  Showing showing(options, input.Name(), "", input.Kind());
  if (!showing.Serve(&err)) return Fail(err, 2);
  // Received telegrams never wait for the folder's disk: blocks it cannot
  // keep up with are passed over, and counted.
  const bool receiving = options.capture.empty();
  if (!showing.Begin(!receiving, &err, &status)) return Fail(err, status);
  if (receiving) {
    Say("receiving on " + input.Name() + (options.sources.empty() ? "" : ", from " + options.sources.Text() + " only") +
        " (Ctrl-C ends it)");
  }
  std::vector<ReportBlock> blocks;
  InputStep step = InputStep::kMore;
  // Until Ctrl-C (or a capture's end); then what is already waiting in the
  // socket is still taken, for a little while at most. A capture stops at
  // once.
  const auto kLongestDrain = std::chrono::seconds(2);
  std::chrono::steady_clock::time_point drain_until;
  for (;;) {
    const bool draining = interrupted != 0;
    if (draining && !receiving) break;
    if (draining && drain_until == std::chrono::steady_clock::time_point()) {
      drain_until = std::chrono::steady_clock::now() + kLongestDrain;
    }
    const uint64_t before = static_cast<uint64_t>(input.telegrams()) + input.ignored();
    step = input.Next(draining ? 0 : 100, &blocks);
    if (!showing.Show(&blocks, &err)) return Fail(err, 1);
    showing.Progress(input.telegrams());
    blocks.clear();
    if (step != InputStep::kMore) break;
    if (draining && (static_cast<uint64_t>(input.telegrams()) + input.ignored() == before ||
                     std::chrono::steady_clock::now() >= drain_until)) {
      break;
    }
  }
  if (step == InputStep::kFailed) {
    if (!showing.End(input.telegrams(), false, input.error(), &err)) Say(err);
    return Fail((receiving ? "cannot receive on " : "cannot read ") + input.Name() + ": " + input.error(), 1);
  }
  const bool damaged = !input.error().empty();
  // A capture is whole once read to its end, its last packet cut short or
  // not (that is said below); one stopped by Ctrl-C is not.
  if (!showing.End(input.telegrams(), step == InputStep::kEnd && !damaged, input.error(), &err)) return Fail(err, 1);
  std::string said = BlocksOf(showing.blocks(), input.telegrams());
  if (input.sources() > 1) said += " from " + std::to_string(input.sources()) + " senders";
  if (showing.folder_ready()) said += " in " + (fs::path(options.output) / "index.html").string();
  if (showing.passed_over() > 0) {
    said += ", " + std::to_string(showing.passed_over()) + " of them passed over: the disk could not keep up";
  }
  if (input.ignored() > 0) {
    said += "; " + std::to_string(input.ignored()) + (input.ignored() == 1 ? " telegram" : " telegrams") +
            " from other senders left out";
  }
  Say(said);
  if (input.cut_short()) Say(input.Name() + ": it ends inside a packet; every telegram before it is shown");
  if (damaged) Say(input.Name() + ": " + input.error());
  showing.ServeUntilInterrupted();
  return damaged ? 2 : 0;
}

int main(int argc, char** argv) {
  std::set_terminate(OnTerminate);
  PlotOptions options;
  std::string err;
  int status = 0;
  if (AnswerCommandLine(ParsePlotOptions(argc, argv, &options, &err), "telegram-plot", PlotUsage, err, &status)) {
    return status;
  }
  if (options.telegrams) return ShowTelegrams(options);
  const bool from_stdin = options.input.empty() || options.input == "-";
  const std::string source = from_stdin ? "standard input" : options.input;
  ReportInput input;
  // A file served is followed until its run is over.
  std::error_code is_folder;
  if (!from_stdin && fs::is_directory(options.input, is_folder)) {
    return Fail("cannot read " + source + ": it is a folder, not a report", 2);
  }
  if (!input.Open(options.input, options.follow || !options.serve.empty(), ShareMemory(options.memory_mib).input,
                  &err)) {
    return Fail("cannot read " + source + ": " + err, 2);
  }
  // An interrupt ends the reading at the input's next pause, with the page
  // made whole, and then the serving.
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  Showing showing(options, source, from_stdin ? RunName() : "");
  if (!showing.Serve(&err)) return Fail(err, 2);
  BlockReader reader;
  std::vector<ReportBlock> blocks;
  InputPiece piece;
  while (input.Next(&piece, 100)) {
    if (interrupted != 0) input.StopAtPause();
    if (reader.finished()) input.StopFollowing();
    if (piece.size == 0) continue;
    const bool read = reader.Read(piece.bytes.get(), piece.size, &blocks);
    // The folder is written once the input is known to be a report.
    if (reader.started() && !showing.Begin(input.holds_up_writer(), &err, &status)) return Fail(err, status);
    if (!showing.Show(&blocks, &err)) return Fail(err, 1);
    showing.Progress(reader.telegrams());
    blocks.clear();
    if (!read) return Damaged(&showing, reader, source);
  }
  if (input.error() != 0) return Fail("cannot read " + source + ": " + strerror(input.error()), 1);
  if (!reader.End(&blocks)) return Damaged(&showing, reader, source);
  if (!showing.Begin(input.holds_up_writer(), &err, &status)) return Fail(err, status);
  if (!showing.Show(&blocks, &err) || !showing.End(reader.telegrams(), reader.finished(), "", &err)) return Fail(err, 1);
  std::string said = BlocksOf(showing.blocks(), reader.telegrams());
  if (showing.folder_ready()) said += " in " + (fs::path(options.output) / "index.html").string();
  if (showing.passed_over() > 0) {
    said += ", " + std::to_string(showing.passed_over()) + " of them passed over: the disk could not keep up";
  }
  Say(said);
  showing.ServeUntilInterrupted();
  return 0;
}
