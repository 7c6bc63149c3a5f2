#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plot/plot_options.h"

namespace {

struct Plot {
  CommandLineResult result;
  PlotOptions options;
  std::string err;
};

Plot ParsePlot(std::vector<const char*> args) {
  args.insert(args.begin(), "telegram-plot");
  Plot plot;
  plot.result = ParsePlotOptions(static_cast<int>(args.size()), args.data(), &plot.options, &plot.err);
  return plot;
}

}  // namespace

// The plot's options through the shared reader: a short name, an operand,
// "-" for standard input, and the same words for what is wrong.
TEST(CommandLine, ThePlotsOptionsAndItsOneReport) {
  Plot plot = ParsePlot({"-o", "run1", "--follow", "report.txt"});
  ASSERT_EQ(plot.result, kRunProgram) << plot.err;
  EXPECT_EQ(plot.options.output, "run1");
  EXPECT_EQ(plot.options.input, "report.txt");
  EXPECT_TRUE(plot.options.follow);
  EXPECT_FALSE(plot.options.force);
  plot = ParsePlot({"--output=run2", "-", "--force"});
  ASSERT_EQ(plot.result, kRunProgram) << plot.err;
  EXPECT_EQ(plot.options.output, "run2");
  EXPECT_EQ(plot.options.input, "-");
  EXPECT_TRUE(plot.options.force);
  // Served: on loopback unless an address is given; any free port for 0.
  plot = ParsePlot({"--serve", "8080"});
  ASSERT_EQ(plot.result, kRunProgram) << plot.err;
  EXPECT_EQ(plot.options.serve_address, "127.0.0.1");
  EXPECT_EQ(plot.options.serve_port, 8080);
  EXPECT_EQ(plot.options.keep, 1000);
  plot = ParsePlot({"--serve", "0.0.0.0:0", "--keep", "10", "-o", "run3"});
  ASSERT_EQ(plot.result, kRunProgram) << plot.err;
  EXPECT_EQ(plot.options.serve_address, "0.0.0.0");
  EXPECT_EQ(plot.options.serve_port, 0);
  EXPECT_EQ(plot.options.keep, 10);
  EXPECT_EQ(plot.options.output, "run3");
  plot = ParsePlot({"--serve", "[::1]:8080", "--allow-host", "Scanner-PC,lab.test:80", "--memory", "64"});
  ASSERT_EQ(plot.result, kRunProgram) << plot.err;
  EXPECT_EQ(plot.options.serve_address, "::1");
  EXPECT_EQ(plot.options.allowed_hosts, (std::vector<std::string>{"scanner-pc", "lab.test"}));
  EXPECT_EQ(plot.options.memory_mib, 64);
  // A folder alone is bounded too, and writes pictures and CSV files only
  // when asked.
  plot = ParsePlot({"-o", "run4", "--memory", "16", "--pictures"});
  ASSERT_EQ(plot.result, kRunProgram) << plot.err;
  EXPECT_EQ(plot.options.memory_mib, 16);
  EXPECT_TRUE(plot.options.pictures);
  EXPECT_FALSE(plot.options.csv);
  // --memory is shared out whole: an eighth to the input, an eighth to the
  // blocks waiting for the disk, the rest to the blocks kept.
  for (const long mib : {16L, 256L, 1048576L}) {
    const MemoryShares shares = ShareMemory(mib);
    EXPECT_EQ(shares.input + shares.unwritten + shares.kept, static_cast<size_t>(mib) << 20) << mib;
    EXPECT_EQ(shares.input, static_cast<size_t>(mib) << 17) << mib;
    EXPECT_EQ(shares.unwritten, shares.input) << mib;
  }
  // The telegrams themselves, in place of a report.
  plot = ParsePlot({"--serve", "8080", "--port", "0", "--address", "239.1.2.3", "--interface", "lo", "--source",
                    "10.0.0.1", "--source", "10.0.0.2:5000"});
  ASSERT_EQ(plot.result, kRunProgram) << plot.err;
  EXPECT_TRUE(plot.options.telegrams);
  EXPECT_EQ(plot.options.port, 0);
  EXPECT_EQ(plot.options.sources.Text(), "10.0.0.1, 10.0.0.2:5000");
  plot = ParsePlot({"-o", "x", "--capture", "run.pcapng"});
  ASSERT_EQ(plot.result, kRunProgram) << plot.err;
  EXPECT_TRUE(plot.options.telegrams);
  EXPECT_EQ(plot.options.port, 9999);
  EXPECT_FALSE(ParsePlot({"-o", "x", "report.txt"}).options.telegrams);
  EXPECT_EQ(ParsePlot({"-o", "x", "/?"}).result, kShowHelp);
  EXPECT_EQ(ParsePlot({"--version", "--bogus"}).result, kShowVersion);
  const struct {
    std::vector<const char*> args;
    const char* err;
  } cases[] = {
      {{}, "nothing to do: give a folder to write with -o FOLDER, or --serve PORT (see --help)"},
      {{"--serve", "65536"}, "bad value '65536' for --serve: [ADDRESS:]PORT is needed, PORT from 0 to 65535"},
      {{"--serve", "host:"}, "bad value 'host:' for --serve: [ADDRESS:]PORT is needed, PORT from 0 to 65535"},
      {{"--serve", "80x"}, "bad value '80x' for --serve: [ADDRESS:]PORT is needed, PORT from 0 to 65535"},
      {{"--serve", "8080", "--keep", "9"}, "bad value '9' for --keep: a whole number from 10 to 1000000 is needed"},
      {{"-o", "x", "--keep", "100"}, "--keep goes with --serve"},
      {{"-o"}, "-o needs a value (FOLDER)"},
      {{"--output="}, "--output needs a value (FOLDER)"},
      {{"-o", "x", "a", "b"}, "unexpected argument 'b': one report at a time (see --help)"},
      {{"-o", "x", "--follow=yes"}, "--follow takes no value"},
      {{"-x"}, "unknown option '-x' (see --help)"},
      // The second of two would win silently.
      {{"--serve", "1", "--serve", "2"}, "--serve is given twice; give it once (see --help)"},
      {{"-o", "a", "--output=b"}, "--output is given twice; give it once (see --help)"},
      {{"-o", "a", "--force", "--force"}, "--force is given twice; give it once (see --help)"},
      {{"--serve", "1", "--memory", "8"}, "bad value '8' for --memory: a whole number from 16 to 1048576 is needed"},
      {{"--serve", "1", "--pictures"}, "--pictures goes with -o FOLDER"},
      {{"--serve", "1", "--memory", "64", "--csv"}, "--csv goes with -o FOLDER"},
      {{"-o", "x", "--allow-host", "a"}, "--allow-host goes with --serve"},
      {{"--serve", "1", "--allow-host", "a,,b"},
       "bad value 'a,,b' for --allow-host: host names, comma-separated, are needed"},
      {{"--serve", "1", "--allow-host", "a b"},
       "bad value 'a b' for --allow-host: host names, comma-separated, are needed"},
      {{"--serve", "1", "--allow-host", "a,"},
       "bad value 'a,' for --allow-host: host names, comma-separated, are needed"},
      {{"-o", "x", "--port", "9999", "report.txt"},
       "a REPORT goes without --port, --address and --capture: the blocks come from one of them"},
      {{"-o", "x", "--capture", "c.pcapng", "-"},
       "a REPORT goes without --port, --address and --capture: the blocks come from one of them"},
      {{"-o", "x", "--port", "9999", "--follow"}, "--follow is for a REPORT"},
      {{"-o", "x", "--port", "9999", "--interface", "lo"}, "--interface is for a multicast --address"},
      {{"-o", "x", "--capture", "c.pcapng", "--address", "239.1.2.3"},
       "--address is for receiving, which --capture takes the place of"},
      {{"-o", "x", "--source", "10.0.0.1"},
       "--source is for --port, --address or --capture: a report does not say where its telegrams came from"},
      {{"-o", "x", "--port", "65536"}, "bad value '65536' for --port: a whole number from 0 to 65535 is needed"},
  };
  for (const auto& c : cases) {
    plot = ParsePlot(c.args);
    EXPECT_EQ(plot.result, kBadCommandLine) << c.err;
    EXPECT_EQ(plot.err, c.err);
  }
}

TEST(CommandLine, HelpShowsEachOptionOnceWithItsRangeAndDefault) {
  long count = 7;
  long pause = 0;
  std::string name = "here";
  bool quiet = false;
  const std::vector<CommandLineOption> options = {
      NumberOption("--count", "N", 1, 9, "how many", &count),
      NumberOption("--pause", "MS", 1, 1000, "between them", &pause, "none"),
      TextOption("--name", "TEXT", "a name of a length to wrap the line it is on, and then wrap it again, "
                 "for this line is long", &name, "-n"),
      FlagOption("--quiet", "say nothing", &quiet),
  };
  EXPECT_EQ(OptionsHelp(options),
            "  --count N           how many, 1 to 9 (default 7)\n"
            "  --pause MS          between them, 1 to 1000 (default: none)\n"
            "  -n, --name TEXT     a name of a length to wrap the line it is on, and then\n"
            "                      wrap it again, for this line is long (default here)\n"
            "  --quiet             say nothing\n"
            "  --help              show this text (also -h, -?, /?)\n"
            "  --version           show the version\n");
  // An option of 20 columns keeps its words beside it, two spaces apart; one
  // of 21 (the plot's -o, --output FOLDER) has them on the next line.
  std::string folder;
  std::string other;
  EXPECT_EQ(OptionsHelp({TextOption("--abcdefghijklm", "XY", "beside", &other),
                         TextOption("--output", "FOLDER", "below", &folder, "-o")}),
            "  --abcdefghijklm XY  beside\n"
            "  -o, --output FOLDER\n"
            "                      below\n"
            "  --help              show this text (also -h, -?, /?)\n"
            "  --version           show the version\n");
}
