// telegram-plot as a user runs it: on the receiver's own report, with Linux
// line ends and the Windows text stream's, cut in the middle of a run of
// values, followed while it is written, and on input that is no report.
// Each picture must draw exactly the values the report gives, as the report
// reader reads them; where the tools are here, the pictures are also drawn
// by a real renderer (rsvg-convert) and the page opened in a real browser
// (headless Chromium).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
  StartReportReader(&reader);
  std::vector<ReportBlock> blocks;
  EXPECT_TRUE(ReadReport(&reader, report.data(), report.size(), &blocks)) << reader.error;
  EXPECT_TRUE(EndReport(&reader, &blocks)) << reader.error;
  return blocks;
}

// The pictures that index.html shows, in its order.
std::vector<std::string> PicturesShown(const std::string& page) {
  std::vector<std::string> names;
  for (size_t at = page.find("<img src=\""); at != std::string::npos; at = page.find("<img src=\"", at + 1)) {
    const size_t start = at + 10;
    names.push_back(page.substr(start, page.find('"', start) - start));
  }
  return names;
}

// A report of the receiver: a short demo run of the largest blocks.
std::string ReceiverReport() {
  Child demo;
  EXPECT_TRUE(Start(&demo, Command("TELEGRAM_SENDER", {"--receiver", Env("TELEGRAM_RECEIVER"), "--scans", "4",
                                                       "--blocks", "3", "--size", "65507"})));
  EXPECT_TRUE(WaitForExit(&demo));
  return demo.out;
}

// Checks the folder against the report: a picture for each block with
// values, in the report's order, each drawing exactly its values.
void ExpectPlotOf(const std::string& folder, const std::string& report, const char* what) {
  const std::vector<ReportBlock> blocks = BlocksOf(report);
  const std::vector<std::string> shown = PicturesShown(ReadWholeFile(folder + "/index.html"));
  size_t picture = 0;
  for (const ReportBlock& block : blocks) {
    if (block.values.empty()) continue;
    ASSERT_LT(picture, shown.size()) << what;
    EXPECT_EQ(shown[picture], "scan-" + std::to_string(block.scan_no) + "-block-" + std::to_string(block.block_no) +
                                  ".svg")
        << what;
    const std::string svg = ReadWholeFile(folder + "/" + shown[picture]);
    EXPECT_EQ(CheckPicture(svg, block.values), "") << what << ": " << shown[picture];
    ++picture;
  }
  EXPECT_EQ(picture, shown.size()) << what;
}

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
  EXPECT_EQ(plot.err, AsWritten("telegram-plot: 8 pictures of 16 telegrams in " +
                                ForProgram(work.path + "/run") + (UnderWine() ? "\\" : "/") + "index.html\n"));
  ExpectPlotOf(work.path + "/run", report, "the receiver's report");
  const std::string page = ReadWholeFile(work.path + "/run/index.html");
  // The demo stops the receiver after a short run: no closing lines.
  EXPECT_NE(page.find("The report is cut short: it ends without its closing lines."), std::string::npos);
  EXPECT_EQ(page.find("http-equiv=\"refresh\""), std::string::npos) << "a finished plot does not reload";

  Child again;
  Plot(&again, work.path + "/other", work.path + "/other.txt");
  EXPECT_EQ(again.exit_code, 0) << again.err;
  for (const std::string& name : PicturesShown(page)) {
    EXPECT_TRUE(ReadWholeFile(work.path + "/run/" + name) == ReadWholeFile(work.path + "/other/" + name)) << name;
  }

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
  Plot(&plot, work.path + "/run", work.path + "/cut.txt");
  EXPECT_EQ(plot.exit_code, 0) << plot.err;
  const std::vector<ReportBlock> blocks = BlocksOf(cut_report);
  ASSERT_EQ(blocks.size(), 8u);
  ASSERT_TRUE(blocks.back().cut_short);
  ExpectPlotOf(work.path + "/run", cut_report, "a report cut short");
  const std::string page = ReadWholeFile(work.path + "/run/index.html");
  EXPECT_NE(page.find("values from"), std::string::npos);
  EXPECT_NE(page.rfind("(cut short: the report ends in its values)"), std::string::npos);
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
  // Half the report, then a wait: the page is there, and reloads itself.
  const size_t half = report.find("ScanNo:3");
  ASSERT_EQ(write(ends[1], report.data(), half), static_cast<ssize_t>(half));
  const std::string page_path = work.path + "/run/index.html";
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(page_path).find("scan-2-block-1.svg") != std::string::npos; }));
  EXPECT_NE(ReadWholeFile(page_path).find("<meta http-equiv=\"refresh\" content=\"2\">"), std::string::npos);
  EXPECT_NE(ReadWholeFile(page_path).find("still being written"), std::string::npos);
  // The rest, and the end of the input: the page is whole, and stays.
  ASSERT_EQ(write(ends[1], report.data() + half, report.size() - half), static_cast<ssize_t>(report.size() - half));
  close(ends[1]);
  ASSERT_TRUE(WaitForExit(&plot));
  EXPECT_EQ(plot.exit_code, 0) << plot.err;
  const std::string page = ReadWholeFile(page_path);
  EXPECT_EQ(page.find("refresh"), std::string::npos);
  EXPECT_NE(page.find("The report is whole."), std::string::npos);
  ExpectPlotOf(work.path + "/run", report, "a report followed as it is written");
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
  Plot(&plot, work.path + "/run", work.path + "/report.txt");
  ASSERT_EQ(plot.exit_code, 0) << plot.err;
  const std::vector<std::string> shown = PicturesShown(ReadWholeFile(work.path + "/run/index.html"));
  ASSERT_EQ(shown.size(), 8u);

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

  // The page in a browser: every picture loaded and shown.
  Child browser;
  ASSERT_TRUE(Start(&browser, {"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                               "--no-first-run", "--disable-background-networking", "--disable-component-update",
                               "--disable-sync", "--user-data-dir=" + work.path + "/browser",
                               "--virtual-time-budget=10000", "--dump-dom",
                               "file://" + work.path + "/run/index.html"}));
  ASSERT_TRUE(WaitForExit(&browser));
  EXPECT_NE(browser.out.find("<p id=\"status\">8 of 8 pictures shown</p>"), std::string::npos)
      << browser.out.substr(0, 2000);
}
