// telegram-plot as a user runs it: on the receiver's own report, with Linux
// line ends and the Windows text stream's, cut in the middle of a run of
// values, followed while it is written, and on input that is no report.
// Each picture, CSV file and the page's copy of the values must hold
// exactly the values the report gives, as the report reader reads them;
// where the tools are here, the pictures are also drawn by a real renderer
// (rsvg-convert) and the page opened in a real browser (headless Chromium).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "plot/block_picture.h"
#include "plot/picture_check_test_util.h"
#include "telegram/report_reader.h"
#include "tests/end_to_end_test_util.h"
#include "tests/file_test_util.h"

namespace {

using namespace e2e;  // NOLINT(google-build-using-namespace): the tests' own helpers

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Runs telegram-plot with `args`, after the folder's and the report's path.
Child* Plot(Child* plot, const std::string& folder, const std::string& report, std::vector<std::string> args = {}) {
  std::vector<std::string> all = {"-o", ForProgram(folder)};
  all.insert(all.end(), args.begin(), args.end());
  if (!report.empty()) all.push_back(ForProgram(report));
  EXPECT_TRUE(Start(plot, Command("TELEGRAM_PLOT", all)));
  EXPECT_TRUE(WaitForExit(plot));
  return plot;
}

// The blocks a report holds, as the shared report reader reads them.
std::vector<ReportBlock> BlocksOf(const std::string& report) {
  ReportReader reader;
  std::vector<ReportBlock> blocks;
  EXPECT_TRUE(reader.Read(report.data(), report.size(), &blocks)) << reader.error();
  EXPECT_TRUE(reader.End(&blocks)) << reader.error();
  return blocks;
}

// The blocks that the page shows, in its order: those its list names, by
// the name of their files.
std::vector<std::string> BlocksShown(const std::string& folder) {
  const std::string list = ReadWholeFile(folder + "/blocks.js");
  std::vector<std::string> names;
  const std::string key = "\"name\":\"";
  for (size_t at = list.find(key); at != std::string::npos; at = list.find(key, at + 1)) {
    const size_t start = at + key.size();
    names.push_back(list.substr(start, list.find('"', start) - start));
  }
  return names;
}

// The file of values the page loads for a block: blocks.js names it
// ("file"), values/FILE.js.
std::string ValuesFileOf(const std::string& folder, const std::string& name) {
  const std::string list = ReadWholeFile(folder + "/blocks.js");
  const size_t at = list.find("\"name\":\"" + name + "\"");
  if (at == std::string::npos) return "";
  const size_t line_end = list.find('\n', at);
  const std::string key = "\"file\":\"";
  const size_t file_at = list.find(key, at);
  if (file_at == std::string::npos || file_at > line_end) return "";
  const size_t start = file_at + key.size();
  return list.substr(start, list.find('"', start) - start);
}

// The values that the page reads for a block: its values as the report
// prints them, in a call of telegramPlot.values in its group's file.
std::vector<uint16_t> PageValues(const std::string& folder, const std::string& name) {
  const std::string file = ValuesFileOf(folder, name);
  EXPECT_FALSE(file.empty()) << name << ": no file named in blocks.js";
  const std::string script = ReadWholeFile(folder + "/values/" + file + ".js");
  const std::string head = "telegramPlot.values(\"" + name + "\",\"";
  const size_t at = script.find(head);
  EXPECT_NE(at, std::string::npos) << name << " is not in values/" << file << ".js";
  std::vector<uint16_t> values;
  if (at == std::string::npos) return values;
  const size_t end = script.find('"', at + head.size());
  const std::string text = script.substr(at + head.size(), end - at - head.size());
  EXPECT_EQ(script.compare(end, 4, "\");\n"), 0) << name;
  size_t start = 0;
  for (size_t tab = text.find('\t'); tab != std::string::npos; start = tab + 1, tab = text.find('\t', start)) {
    values.push_back(static_cast<uint16_t>(std::stoul(text.substr(start, tab - start))));
  }
  EXPECT_EQ(start, text.size()) << name << ": text after the last tab";
  return values;
}

std::string Csv(const std::vector<uint16_t>& values) {
  std::string csv = "index,value\n";
  for (size_t i = 0; i < values.size(); ++i) csv += std::to_string(i) + "," + std::to_string(values[i]) + "\n";
  return csv;
}

// A report of the receiver: a short demo run of the largest blocks.
std::string ReceiverReport() {
  Child demo;
  EXPECT_TRUE(Start(&demo, Command("TELEGRAM_SENDER", {"--receiver", Env("TELEGRAM_RECEIVER"), "--scans", "4",
                                                       "--blocks", "3", "--size", "65507"})));
  EXPECT_TRUE(WaitForExit(&demo));
  return demo.out;
}

// Checks the folder against the report: each block with values, in the
// report's order, the page's copy holding exactly its values; with
// `files` (--pictures --csv), its picture drawing exactly them and its CSV
// holding them; without, neither written.
void ExpectPlotOf(const std::string& folder, const std::string& report, const char* what, bool files = false) {
  const std::vector<ReportBlock> blocks = BlocksOf(report);
  const std::vector<std::string> shown = BlocksShown(folder);
  size_t at = 0;
  for (const ReportBlock& block : blocks) {
    if (block.values.empty()) continue;
    ASSERT_LT(at, shown.size()) << what;
    const std::string& name = shown[at];
    EXPECT_EQ(name, "scan-" + std::to_string(block.scan_no) + "-block-" + std::to_string(block.block_no)) << what;
    const std::string picture = folder + "/" + std::string(name);
    if (files) {
      EXPECT_EQ(CheckPicture(ReadWholeFile(picture + ".svg"), block.values), "") << what << ": " << name;
      EXPECT_TRUE(ReadWholeFile(picture + ".csv") == Csv(block.values)) << what << ": " << name;
    } else {
      EXPECT_FALSE(Exists(picture + ".svg") || Exists(picture + ".csv")) << what << ": " << name << ", not asked for";
    }
    EXPECT_TRUE(PageValues(folder, name) == block.values) << what << ": " << name;
    ++at;
  }
  EXPECT_EQ(at, shown.size()) << what;
}

// How far the page says the report has come: its state.js.
std::string StateOf(const std::string& folder) { return ReadWholeFile(folder + "/state.js"); }

}  // namespace

TEST(Plot, TheReceiversReportWithEitherLineEnds) {
  const TempFolder work;
  const std::string report = ReceiverReport();
  ASSERT_EQ(BlocksOf(report).size(), 8u) << "4 scans of blocks 0 and 1";
  // The report as the other platform writes it: a "\r" more, or less,
  // before each "\n".
  std::string other;
  if (UnderWine()) {
    for (size_t i = 0; i < report.size(); ++i) {
      if (!(report[i] == '\r' && i + 1 < report.size() && report[i + 1] == '\n')) other += report[i];
    }
  } else {
    for (char c : report) {
      if (c == '\n') other += '\r';
      other += c;
    }
  }
  ASSERT_TRUE(WriteWholeFile(work.path + "/report.txt", report));
  ASSERT_TRUE(WriteWholeFile(work.path + "/other.txt", other));
  Child plot;
  Plot(&plot, work.path + "/run", work.path + "/report.txt");
  EXPECT_EQ(plot.exit_code, 0) << plot.err;
  EXPECT_EQ(plot.err, AsWritten("telegram-plot: 8 blocks with values of 16 telegrams in " +
                                ForProgram(work.path + "/run") + (UnderWine() ? "\\" : "/") + "index.html\n"));
  ExpectPlotOf(work.path + "/run", report, "the receiver's report");
  // The demo stops the receiver after a short run: no closing lines.
  EXPECT_NE(StateOf(work.path + "/run").find("\"telegrams\":16,\"blocks\":8,\"kept\":8,\"passedOver\":0,\"reading\":false,\"whole\":false"),
            std::string::npos)
      << StateOf(work.path + "/run");
  EXPECT_EQ(ReadWholeFile(work.path + "/run/index.html").find("refresh"), std::string::npos) << "the page never reloads";

  // The other line ends, and the pictures and CSV files asked for.
  Child again;
  Plot(&again, work.path + "/other", work.path + "/other.txt", {"--pictures", "--csv"});
  EXPECT_EQ(again.exit_code, 0) << again.err;
  ExpectPlotOf(work.path + "/other", report, "the other line ends", true);

  // The same folder again: refused, and left as it was, unless --force.
  Child refused;
  Plot(&refused, work.path + "/run", work.path + "/report.txt");
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("exists already; --force writes into it"), std::string::npos) << refused.err;
  Child forced;
  Plot(&forced, work.path + "/run", work.path + "/other.txt", {"--force"});
  EXPECT_EQ(forced.exit_code, 0) << forced.err;
  ExpectPlotOf(work.path + "/run", report, "plotted again with --force");
}

TEST(Plot, AReportCutInARunOfValuesIsDrawnAsFarAsItGoes) {
  const TempFolder work;
  const std::string report = ReceiverReport();
  // Halfway through the last block's values, in the middle of a value.
  const size_t last_block = report.rfind("BlockNo:1");
  const size_t cut = last_block + (report.size() - last_block) / 2;
  const std::string cut_report = report.substr(0, report.find('\t', cut) + 3);
  ASSERT_TRUE(WriteWholeFile(work.path + "/cut.txt", cut_report));
  Child plot;
  Plot(&plot, work.path + "/run", work.path + "/cut.txt", {"--pictures", "--csv"});
  EXPECT_EQ(plot.exit_code, 0) << plot.err;
  const std::vector<ReportBlock> blocks = BlocksOf(cut_report);
  ASSERT_EQ(blocks.size(), 8u);
  ASSERT_TRUE(blocks.back().cut_short);
  ExpectPlotOf(work.path + "/run", cut_report, "a report cut short", true);
  const std::string list = ReadWholeFile(work.path + "/run/blocks.js");
  EXPECT_NE(list.rfind("\"cut\":true"), std::string::npos);
  EXPECT_EQ(list.find("\"cut\":true"), list.rfind("\"cut\":true")) << "the last block alone";
  EXPECT_GT(list.rfind("\"cut\":true"), list.rfind("scan-4-block-1"));
  EXPECT_NE(ReadWholeFile(work.path + "/run/scan-4-block-1.svg").find("(cut short"), std::string::npos);
}

TEST(Plot, FollowingAReportAsItIsWritten) {
  const TempFolder work;
  const std::string report = ReceiverReport() + "Finished receiving. Closing socket.\nExiting.\n";
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);  // the plot keeps no write end open
  Child plot;
  StartOptions options;
  options.in_fd = ends[0];
  ASSERT_TRUE(Start(&plot, Command("TELEGRAM_PLOT", {"--follow", "-o", ForProgram(work.path + "/run")}), options));
  close(ends[0]);
  // A quarter of the report, then half, with a wait after each: the page
  // is there and says the report is still read; the list grows, the page
  // stays as it was written, whatever came since: no block costs a page.
  const size_t quarter = report.find("ScanNo:2");
  const size_t half = report.find("ScanNo:3");
  const std::string page_path = work.path + "/run/index.html";
  const std::string list_path = work.path + "/run/blocks.js";
  ASSERT_EQ(write(ends[1], report.data(), quarter), static_cast<ssize_t>(quarter));
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(list_path).find("scan-1-block-1") != std::string::npos; }));
  struct stat first;
  ASSERT_EQ(stat(page_path.c_str(), &first), 0);
  const std::string first_page = ReadWholeFile(page_path);
  ASSERT_EQ(write(ends[1], report.data() + quarter, half - quarter), static_cast<ssize_t>(half - quarter));
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(list_path).find("scan-2-block-1") != std::string::npos; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  struct stat later;
  ASSERT_EQ(stat(page_path.c_str(), &later), 0);
  EXPECT_EQ(later.st_ino, first.st_ino) << "the page was written again";
  EXPECT_EQ(ReadWholeFile(page_path), first_page);
  EXPECT_EQ(first_page.find("refresh"), std::string::npos);
  EXPECT_NE(StateOf(work.path + "/run").find("\"reading\":true"), std::string::npos);
  // The rest, and the end of the input: the page is whole, and stays.
  ASSERT_EQ(write(ends[1], report.data() + half, report.size() - half), static_cast<ssize_t>(report.size() - half));
  close(ends[1]);
  ASSERT_TRUE(WaitForExit(&plot));
  EXPECT_EQ(plot.exit_code, 0) << plot.err;
  EXPECT_EQ(ReadWholeFile(page_path), first_page);
  EXPECT_NE(StateOf(work.path + "/run").find("\"reading\":false,\"whole\":true"), std::string::npos);
  ExpectPlotOf(work.path + "/run", report, "a report followed as it is written");
}

// A report that stops coming: a pipe whose writer stays but writes no more.
// An interrupt ends the plot, with the page made of what came; a pipe that
// ends without the closing lines ends it as well, --follow or not.
TEST(Plot, AnInterruptOrTheEndOfAPipeEndsItWithThePageMade) {
  const TempFolder work;
  const std::string report = ReceiverReport();
  const size_t half = report.find("ScanNo:3");
  for (const char* how : {"interrupted", "pipe closed"}) {
    for (bool follow : {true, false}) {
      if (UnderWine() && std::string(how) == "interrupted") continue;  // SIGINT is Ctrl-C there, for the console
      int ends[2];
      ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
      Child plot;
      StartOptions options;
      options.in_fd = ends[0];
      const std::string folder = work.path + "/" + how + (follow ? "-follow" : "");
      std::vector<std::string> args = {"-o", ForProgram(folder)};
      if (follow) args.push_back("--follow");
      ASSERT_TRUE(Start(&plot, Command("TELEGRAM_PLOT", args), options));
      close(ends[0]);
      ASSERT_EQ(write(ends[1], report.data(), half), static_cast<ssize_t>(half));
      ASSERT_TRUE(WaitUntil([&] {
        return ReadWholeFile(folder + "/blocks.js").find("scan-2-block-1") != std::string::npos;
      })) << how;
      const auto since = std::chrono::steady_clock::now();
      if (std::string(how) == "interrupted") {
        kill(plot.pid, SIGINT);
      } else {
        close(ends[1]);
      }
      ASSERT_TRUE(WaitForExit(&plot)) << how;
      EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count(), 5.0) << how;
      if (std::string(how) == "interrupted") close(ends[1]);
      EXPECT_EQ(plot.exit_code, 0) << how << ": " << plot.err;
      EXPECT_EQ(BlocksShown(folder).size(), 4u) << how;
      EXPECT_NE(StateOf(folder).find("\"reading\":false,\"whole\":false"), std::string::npos) << how;
    }
  }
}

// The same scan and block twice (a second run in one report): two pictures,
// the second beside the first, each of its own values.
TEST(Plot, ABlockSeenAgainGetsAPictureOfItsOwnAndAppendedRunsAreRuns) {
  const TempFolder work;
  const std::string run = std::string("Receiving datagrams...\n--> Telegram Type: 6\r\n") +
                          "TotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t3\t" +
                          "Finished receiving. Closing socket.\nExiting.\n";
  std::string again = run;
  again.replace(again.find("1\t2\t3"), 5, "4\t5\t6");
  ASSERT_TRUE(WriteWholeFile(work.path + "/report.txt", run + again));
  Child plot;
  Plot(&plot, work.path + "/run", work.path + "/report.txt", {"--pictures", "--csv"});
  EXPECT_EQ(plot.exit_code, 0) << plot.err;
  EXPECT_EQ(BlocksShown(work.path + "/run"), (std::vector<std::string>{"scan-7-block-0", "scan-7-block-0-2"}));
  EXPECT_EQ(ReadWholeFile(work.path + "/run/scan-7-block-0-2.csv"), "index,value\n0,4\n1,5\n2,6\n");
  EXPECT_TRUE(PageValues(work.path + "/run", "scan-7-block-0-2") == (std::vector<uint16_t>{4, 5, 6}));
  EXPECT_EQ(CheckPicture(ReadWholeFile(work.path + "/run/scan-7-block-0.svg"), {1, 2, 3}), "");
  EXPECT_EQ(CheckPicture(ReadWholeFile(work.path + "/run/scan-7-block-0-2.svg"), {4, 5, 6}), "");

  // The first run stopped by Ctrl-C (no closing lines), then another run
  // appended to the same file: two runs, not damage.
  const std::string stopped = run.substr(0, run.find("Finished"));
  ASSERT_TRUE(WriteWholeFile(work.path + "/appended.txt", stopped + again));
  Child appended;
  Plot(&appended, work.path + "/appended", work.path + "/appended.txt");
  EXPECT_EQ(appended.exit_code, 0) << appended.err;
  EXPECT_EQ(BlocksShown(work.path + "/appended"), (std::vector<std::string>{"scan-7-block-0", "scan-7-block-0-2"}));
  EXPECT_TRUE(PageValues(work.path + "/appended", "scan-7-block-0-2") == (std::vector<uint16_t>{4, 5, 6}));
}

// Links planted in a folder plotted again with --force, under the names a
// plot writes or once wrote, lead to a file outside: it is never written.
TEST(Plot, ForceNeverWritesThroughALink) {
  if (UnderWine()) GTEST_SKIP() << "POSIX links";
  const TempFolder work;
  const std::string report = std::string("Receiving datagrams...\n--> Telegram Type: 6\r\n") +
                             "TotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t3\t";
  ASSERT_TRUE(WriteWholeFile(work.path + "/report.txt", report));
  ASSERT_TRUE(WriteWholeFile(work.path + "/outside.txt", "keep me"));
  ASSERT_EQ(mkdir((work.path + "/run").c_str(), 0755), 0);
  for (const char* name : {"index.html.partial", "index.html.partial-1", "scan-7-block-0.svg.partial-1",
                           "blocks.js.partial-1", "state.js.partial-1", "page.js.partial-1"}) {
    ASSERT_EQ(symlink((work.path + "/outside.txt").c_str(), (work.path + "/run/" + name).c_str()), 0) << name;
  }
  // The folder of the page's values, a link to a folder outside.
  ASSERT_EQ(mkdir((work.path + "/elsewhere").c_str(), 0755), 0);
  ASSERT_EQ(symlink((work.path + "/elsewhere").c_str(), (work.path + "/run/values").c_str()), 0);
  // The user's own files in the folder stay, whatever their names.
  ASSERT_TRUE(WriteWholeFile(work.path + "/run/notes.txt", "mine"));
  ASSERT_TRUE(WriteWholeFile(work.path + "/run/scan-7-notes.csv", "mine too"));
  Child plot;
  Plot(&plot, work.path + "/run", work.path + "/report.txt", {"--force"});
  EXPECT_EQ(plot.exit_code, 0) << plot.err;
  EXPECT_EQ(ReadWholeFile(work.path + "/outside.txt"), "keep me");
  EXPECT_EQ(ReadWholeFile(work.path + "/run/notes.txt"), "mine");
  EXPECT_EQ(ReadWholeFile(work.path + "/run/scan-7-notes.csv"), "mine too");
  EXPECT_EQ(BlocksShown(work.path + "/run"), (std::vector<std::string>{"scan-7-block-0"}));
  EXPECT_FALSE(Exists(work.path + "/elsewhere/scan-7-block-0.js"));
  EXPECT_TRUE(Exists(work.path + "/run/values/scan-7-block-0.js"));
}

// A file followed is read on at its end until its run is over: a run that
// has its closing lines already ends at once, one still being written once
// they come.
TEST(Plot, FollowingAFileEndsWithItsRun) {
  const TempFolder work;
  const std::string whole = ReceiverReport() + "Finished receiving. Closing socket.\nExiting.\n";
  ASSERT_TRUE(WriteWholeFile(work.path + "/whole.txt", whole));
  Child done;
  ASSERT_TRUE(Start(&done, Command("TELEGRAM_PLOT", {"--follow", "-o", ForProgram(work.path + "/run1"),
                                                     ForProgram(work.path + "/whole.txt")})));
  ASSERT_TRUE(WaitForExit(&done)) << "a finished run is not waited at";
  EXPECT_EQ(done.exit_code, 0) << done.err;
  EXPECT_NE(StateOf(work.path + "/run1").find("\"reading\":false,\"whole\":true"), std::string::npos);

  const std::string growing = work.path + "/growing.txt";
  ASSERT_TRUE(WriteWholeFile(growing, ReceiverReport()));
  Child following;
  ASSERT_TRUE(Start(&following, Command("TELEGRAM_PLOT", {"--follow", "-o", ForProgram(work.path + "/run2"),
                                                          ForProgram(growing)})));
  ASSERT_TRUE(WaitUntil([&] { return StateOf(work.path + "/run2").find("\"reading\":true") != std::string::npos; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(StillRunning(&following)) << "it waits for the rest";
  FILE* file = fopen(growing.c_str(), "ab");
  ASSERT_NE(file, nullptr);
  fputs("Finished receiving. Closing socket.\nExiting.\n", file);
  fclose(file);
  ASSERT_TRUE(WaitForExit(&following));
  EXPECT_EQ(following.exit_code, 0) << following.err;
  EXPECT_NE(StateOf(work.path + "/run2").find("\"reading\":false,\"whole\":true"), std::string::npos);
}

TEST(Plot, InputThatIsNoReportIsSaidWithItsLineAndNothingIsWritten) {
  const TempFolder work;
  std::string damaged = ReceiverReport();
  damaged.replace(damaged.find("BeamCount"), 9, "BeamCuont");
  const std::string binary = ReadWholeFile(Env("TELEGRAM_PLOT")).substr(0, 4096);
  const struct {
    const char* name;
    std::string text;
    const char* error;
    bool folder;  // written up to the damage
  } cases[] = {
      {"empty", "", "line 1: expected the banner 'Receiving datagrams...', found nothing", false},
      {"binary", binary, "line 1: expected the banner 'Receiving datagrams...'", false},
      {"a damaged line", damaged, "line 3: expected the line 'BeamCount : ...' of the type-1 telegram before it",
       true},
  };
  for (const auto& c : cases) {
    const std::string input = work.path + "/" + c.name + ".txt";
    const std::string folder = work.path + "/" + c.name;
    ASSERT_TRUE(WriteWholeFile(input, c.text));
    Child plot;
    Plot(&plot, folder, input);
    EXPECT_EQ(plot.exit_code, 2) << c.name;
    const std::string prefix = "telegram-plot: " + ForProgram(input) + ": " + c.error;
    EXPECT_EQ(plot.err.compare(0, prefix.size(), AsWritten(prefix)), 0) << c.name << ": " << plot.err;
    EXPECT_EQ(plot.err.find('\n'), plot.err.size() - 1) << c.name << ": one line";
    EXPECT_EQ(Exists(folder), c.folder) << c.name;
  }
}

TEST(Plot, RealRenderersDrawWhatTheValuesSay) {
  if (UnderWine()) GTEST_SKIP() << "the pictures are the same; the renderers run once";
  const bool tools = RunShell("command -v rsvg-convert && command -v pngtopam && command -v chromium") ;
  if (!tools) {
    if (Env("CI") == "true") FAIL() << "rsvg-convert, pngtopam (netpbm) and chromium are needed";
    GTEST_SKIP() << "rsvg-convert, pngtopam (netpbm) or chromium is not installed";
  }
  const TempFolder work;
  const std::string report = ReceiverReport();
  ASSERT_TRUE(WriteWholeFile(work.path + "/report.txt", report));
  Child plot;
  Plot(&plot, work.path + "/run", work.path + "/report.txt", {"--pictures"});
  ASSERT_EQ(plot.exit_code, 0) << plot.err;
  std::vector<std::string> shown = BlocksShown(work.path + "/run");
  ASSERT_EQ(shown.size(), 8u);
  for (std::string& name : shown) name += ".svg";

  // Each picture rendered: in every column, the pixels drawn in the values'
  // colour lie where the column's range says, give or take the half pixel
  // of anti-aliasing, and nowhere else.
  for (const std::string& name : shown) {
    const std::string svg = work.path + "/run/" + name;
    std::string render = "rsvg-convert '";
    render += svg;
    render += "' | pngtopam > '";
    render += svg;
    render += ".ppm'";
    ASSERT_TRUE(RunShell(render)) << name;
    // A binary PPM: "P6", its width, height and depth, one blank, the pixels.
    const std::string ppm = ReadWholeFile(svg + ".ppm");
    ASSERT_EQ(ppm.compare(0, 2, "P6"), 0) << name;
    char* at = nullptr;
    const long width = strtol(ppm.c_str() + 2, &at, 10);
    const long height = strtol(at, &at, 10);
    strtol(at, &at, 10);
    ASSERT_EQ(width, kPictureWidth);
    ASSERT_EQ(height, kPictureHeight);
    const unsigned char* pixels = reinterpret_cast<const unsigned char*>(at) + 1;
    const DrawnValues drawn = ReadDrawnValues(ReadWholeFile(svg));
    ASSERT_TRUE(drawn.ok && drawn.columns) << name;
    const std::string page = ReadWholeFile(svg);
    const size_t low_at = page.find("data-low=\"") + 10;
    const size_t high_at = page.find("data-high=\"") + 11;
    const double low = strtod(page.c_str() + low_at, nullptr);
    const double high = strtod(page.c_str() + high_at, nullptr);
    for (int column = 0; column < kPlotColumns; ++column) {
      const int x = kPlotLeft + column;
      long top = height, bottom = -1;
      for (int y = kPlotTop - 2; y <= kPlotTop + kPlotHeight + 2; ++y) {
        const unsigned char* p = pixels + 3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + x);
        // The values' blue, at least half as strong as drawn.
        if (p[2] > 100 && p[0] < 160 && p[2] - p[0] > 60) {
          if (y < top) top = y;
          if (y > bottom) bottom = y;
        }
      }
      const DrawnRange& range = drawn.ranges[static_cast<size_t>(column)];
      const double y_largest = kPlotTop + kPlotHeight * (high - static_cast<double>(range.largest)) / (high - low);
      const double y_smallest = kPlotTop + kPlotHeight * (high - static_cast<double>(range.smallest)) / (high - low);
      ASSERT_LE(top, bottom) << name << ", column " << column << ": nothing drawn";
      EXPECT_NEAR(top, y_largest, 1.5) << name << ", column " << column;
      EXPECT_NEAR(bottom, y_smallest, 1.5) << name << ", column " << column;
    }
  }

  // The page in a browser, from the disk: the newest block drawn, the
  // report's state said. On a busy host Chromium may dump the page before
  // its scripts have run (its virtual time runs on when nothing is
  // pending, and a starved loader can look idle): it is asked again, a
  // few times, before the page is judged.
  std::string dom;
  for (int attempt = 0; attempt < 4; ++attempt) {
    Child browser;
    ASSERT_TRUE(Start(&browser, {"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                                 "--no-first-run", "--disable-background-networking", "--disable-component-update",
                                 "--disable-sync", "--user-data-dir=" + work.path + "/browser",
                                 "--virtual-time-budget=30000", "--dump-dom",
                                 "file://" + work.path + "/run/index.html"}));
    ASSERT_TRUE(WaitForExit(&browser));
    dom = browser.out;
    if (dom.find("<h2 id=\"heading\">Scan 4, block 1") != std::string::npos) break;
  }
  EXPECT_NE(dom.find("<h2 id=\"heading\">Scan 4, block 1: 32743 values from"), std::string::npos)
      << dom.substr(0, 3000);
  EXPECT_NE(dom.find("16 telegrams read, 8 blocks with values. The run ended before the receiver's closing "
                             "lines: it was stopped"),
            std::string::npos);
  EXPECT_NE(dom.find("<canvas"), std::string::npos) << "the chart is drawn";
}

// The exit statuses as the README and the man page give them: 2 for what
// is wrong before anything is shown, 1 for a file of the folder that
// cannot be written; each said in one line.
TEST(Plot, ExitStatusesAreThoseTheDocumentsGive) {
  const TempFolder work;
  const std::string report = std::string("Receiving datagrams...\n--> Telegram Type: 6\r\n") +
                             "TotalSize: 6\t ScanNo:7\t BlockNo:0\r\n\n1\t2\t3\t";
  ASSERT_TRUE(WriteWholeFile(work.path + "/report.txt", report));
  ASSERT_TRUE(WriteWholeFile(work.path + "/a-file", "x"));
  ASSERT_TRUE(WriteWholeFile(work.path + "/garbage.txt", report + "abc\t"));
  const struct {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string said;
  } cases[] = {
      {"a report file that cannot be opened", {"-o", ForProgram(work.path + "/run1"), ForProgram(work.path + "/none.txt")},
       2, "telegram-plot: cannot read " + ForProgram(work.path + "/none.txt") + ": "},
      {"a folder that cannot be made", {"-o", ForProgram(work.path + "/a-file/run"), ForProgram(work.path + "/report.txt")},
       2, "telegram-plot: cannot make "},
      {"a bad argument", {"--keep", "5", "--serve", "0"}, 2, "telegram-plot: "},
      {"garbage on the last line", {"-o", ForProgram(work.path + "/run3"), ForProgram(work.path + "/garbage.txt")}, 2,
       "telegram-plot: " + ForProgram(work.path + "/garbage.txt") + ": line 5: expected a type line"},
      {"a folder as the report", {"-o", ForProgram(work.path + "/run2"), ForProgram(work.path)}, 2,
       "telegram-plot: cannot read " + ForProgram(work.path) + ": it is a folder, not a report"},
      {"an option given twice", {"-o", "a", "-o", "b"}, 2,
       "telegram-plot: --output is given twice; give it once (see --help)"},
      {"a folder that exists", {"-o", ForProgram(work.path), ForProgram(work.path + "/report.txt")}, 2,
       "telegram-plot: " + ForProgram(work.path) + " exists already; --force writes into it"},
      // A folder that may be used, a file in which cannot be replaced: what
      // stands in the way of an earlier plot's page is a folder with
      // something in it.
      {"a file of the folder that cannot be written", {"--force", "-o", ForProgram(work.path + "/stuck"),
                                                       ForProgram(work.path + "/report.txt")},
       1, "telegram-plot: cannot remove " + ForProgram(work.path + "/stuck/index.html") + ": "},
  };
  ASSERT_TRUE(WriteWholeFile(work.path + "/stuck/index.html/kept", "x") ||
              (std::filesystem::create_directories(work.path + "/stuck/index.html") &&
               WriteWholeFile(work.path + "/stuck/index.html/kept", "x")));
  for (const auto& c : cases) {
    Child plot;
    ASSERT_TRUE(Start(&plot, Command("TELEGRAM_PLOT", c.args)));
    ASSERT_TRUE(WaitForExit(&plot));
    EXPECT_EQ(plot.exit_code, c.status) << c.what << ": " << plot.err;
    EXPECT_EQ(plot.err.compare(0, c.said.size(), AsWritten(c.said)), 0) << c.what << ": " << plot.err;
    EXPECT_EQ(plot.err.find('\n'), plot.err.size() - 1) << c.what << ": one line";
  }
  if (UnderWine()) return;  // the file size limit is a POSIX one
  // A file of the folder that cannot be written whole: the disk full, as
  // a file size limit makes it, for the values of a block of the largest
  // kind (some 196 KB), when the page's files (below 100 KB each) are
  // written.
  std::string large = "Receiving datagrams...\n--> Telegram Type: 6\r\nTotalSize: 65486\t ScanNo:1\t BlockNo:0\r\n\n";
  for (int i = 0; i < 32743; ++i) large += "65535\t";
  ASSERT_TRUE(WriteWholeFile(work.path + "/large.txt", large));
  Child full;
  StartOptions options;
  options.file_size_limit = 150000;
  options.ignore_sigxfsz = true;
  ASSERT_TRUE(Start(&full, Command("TELEGRAM_PLOT", {"-o", work.path + "/full", work.path + "/large.txt"}), options));
  ASSERT_TRUE(WaitForExit(&full));
  EXPECT_EQ(full.exit_code, 1) << full.err;
  EXPECT_EQ(full.err.find('\n'), full.err.size() - 1) << full.err;
  // A file small enough to wait in the stream's buffer fails only when it
  // is closed: the page's first file, at a limit of 1000 bytes.
  Child closing;
  options.file_size_limit = 1000;
  ASSERT_TRUE(Start(&closing, Command("TELEGRAM_PLOT", {"-o", work.path + "/tiny", work.path + "/report.txt"}), options));
  ASSERT_TRUE(WaitForExit(&closing));
  EXPECT_EQ(closing.exit_code, 1) << closing.err;
  EXPECT_EQ(closing.err, "telegram-plot: cannot write " + work.path + "/tiny/index.html.partial-1: " + strerror(EFBIG) +
                             "\n");
}
