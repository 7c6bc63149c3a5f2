// Measures receivers side by side, each as its own process with its
// standard output to a file, fed by telegram-sender: the program; a bare
// loop that prints only the type lines; the floor, which writes the same
// report but formats a block's values only once while they repeat (what is
// left is the receive and the write); a receiver that prints each block
// value with its own printf call (the straightforward way); and, if given,
// the program with its report piped into telegram-plot --follow, which must
// keep up with it; the same into telegram-plot --serve with a page open,
// which must keep up too, and how soon the page hears of a block;
// telegram-plot -o of the program's finished report; and the Windows
// program under Wine. The long runs (10,000 of the largest telegrams at
// 1 Gbit/s, more than a pipe and a socket's buffer hold, so that a plot
// slower than the telegrams come shows as loss) measure the program and
// the plots alone, with telegram-record --count 10000 in the receiver's
// place (the receiver stops at 1000; the recorder writes the same report).
//
// For each scenario and receiver it reports, as medians over the rounds,
// the telegrams reported out of those sent, the datagrams the kernel dropped for
// want of room in its socket's receive buffer (the drops column of
// /proc/net/udp, so that every receiver is counted alike; the most of any
// round), whether it ended
// by itself, the wall
// time from the first telegram sent to its end, its CPU seconds (user plus
// system, from the kernel's accounting of the process), and the whole
// host's busy CPU seconds over the same time (/proc/stat), which also counts
// the sender and, under Wine, the wineserver that does a Windows program's
// socket work. It reports figures; it passes or fails nothing.
//
// usage: receiver-benchmark [--rounds N] [--only SCENARIO] [--receiver NAME "COMMAND ARGS"]... [--only-added]
// (the programs beside it are used; --receiver adds one, such as the
// Windows program under Wine, and --only-added measures only those added)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "telegram/report_format.h"
#include "bench/page_watch.h"
#include "bench/port_drops.h"

namespace {

struct Scenario {
  const char* name;
  long telegrams;
  std::vector<std::string> sender_args;
  bool long_run;  // the program and the plots alone
};

struct Receiver {
  std::string name;
  std::vector<std::string> command;
  std::vector<std::string> plot;  // if given, the report goes through a pipe into this
  std::string plot_folder;        // where it writes its folder, if it does
  bool serve = false;             // it serves the page live, and a page watches it
  bool plot_after = false;        // the plot reads the finished report, from its file
};

// The port that telegram-plot --serve listens on in the benchmark.
const int kServePort = 18099;

struct Measurement {
  long reported = 0;
  long dropped = 0;
  double plot_cpu_seconds = 0;  // of the plot the report went into, if any
  long passed_over = 0;         // blocks the plot's folder passed over (state.js)
  std::vector<double> latencies;  // served: seconds from a block's report line to the page
  bool ended = false;
  double wall_seconds = 0;
  double cpu_seconds = 0;
  double host_cpu_seconds = 0;
};

// Busy CPU seconds of the whole host so far, all cores together: the first
// line of /proc/stat, less idle and iowait.
double HostBusySeconds() {
  FILE* stat = fopen("/proc/stat", "r");
  if (stat == nullptr) return 0;
  char line[512] = "";
  const bool read = fgets(line, sizeof line, stat) != nullptr;
  fclose(stat);
  if (!read || strncmp(line, "cpu ", 4) != 0) return 0;
  unsigned long long busy = 0;
  char* at = line + 4;
  for (int field = 0; field < 8; ++field) {
    char* end = nullptr;
    const unsigned long long ticks = strtoull(at, &end, 10);
    if (end == at) return 0;
    if (field != 3 && field != 4) busy += ticks;  // idle, iowait
    at = end;
  }
  return static_cast<double>(busy) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::string Dir() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  path[n] = '\0';
  std::string dir(path);
  return dir.substr(0, dir.rfind('/'));
}

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void Sleep(double seconds) {
  const time_t whole = static_cast<time_t>(seconds);
  timespec pause = {whole, static_cast<long>((seconds - static_cast<double>(whole)) * 1e9)};
  nanosleep(&pause, nullptr);
}

pid_t Spawn(std::vector<std::string> args, int out_fd, int in_fd = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (in_fd >= 0) posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
  posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    fprintf(stderr, "receiver-benchmark: cannot start %s: %s\n", argv[0], strerror(failed));
    exit(1);
  }
  return pid;
}

// Whether a socket is bound to the receivers' port.
bool PortBound() {
  long drops = 0;
  return ReadPortDrops(kReceiverPort, &drops);
}

double CpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A count that telegram-plot's folder gives in its state.js: "telegrams"
// read, "passedOver" blocks.
long PlotState(const std::string& folder, const std::string& field) {
  FILE* state = fopen((folder + "/state.js").c_str(), "r");
  if (state == nullptr) return 0;
  char line[4096] = "";
  const bool read = fgets(line, sizeof line, state) != nullptr;
  fclose(state);
  const std::string key = "\"" + field + "\":";
  const char* at = read ? strstr(line, key.c_str()) : nullptr;
  return at == nullptr ? 0 : strtol(at + key.size(), nullptr, 10);
}

void RemoveFolder(const std::string& folder) {
  const int null_out = open("/dev/null", O_WRONLY);
  waitpid(Spawn({"/bin/rm", "-rf", folder}, null_out), nullptr, 0);
  close(null_out);
}

long CountTypeLines(const char* path) {
  static const char kPattern[] = "--> Telegram Type: ";
  const size_t pattern = sizeof kPattern - 1;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return -1;
  std::vector<char> chunk(1 << 20);
  size_t kept = 0;
  long count = 0;
  size_t n;
  while ((n = fread(chunk.data() + kept, 1, chunk.size() - kept, file)) > 0) {
    size_t end = kept + n;
    const char* at = chunk.data();
    const char* last = chunk.data() + end;
    while ((at = static_cast<const char*>(memmem(at, static_cast<size_t>(last - at), kPattern, pattern)))) {
      ++count;
      at += pattern;
    }
    kept = std::min(end, pattern - 1);  // a match may straddle two chunks
    memmove(chunk.data(), chunk.data() + end - kept, kept);
  }
  fclose(file);
  return count;
}

Measurement Measure(const Receiver& receiver, const Scenario& scenario, const std::string& sender) {
  char path[] = "/tmp/receiver-benchmark.XXXXXX";
  int out = mkstemp(path);
  if (out < 0) {
    perror("receiver-benchmark: mkstemp");
    exit(1);
  }
  while (PortBound()) Sleep(0.05);  // the previous receiver has let go of the port
  // With a plot, the report goes into it through a pipe, as a user runs
  // telegram-receiver | telegram-plot.
  int pipe_ends[2] = {-1, -1};
  pid_t plot_pid = -1;
  std::unique_ptr<PageWatch> watch;
  // A new folder each round, the last one's removed beforehand.
  if (!receiver.plot_folder.empty()) RemoveFolder(receiver.plot_folder);
  if (!receiver.plot.empty() && !receiver.plot_after) {
    if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
      perror("receiver-benchmark: pipe");
      exit(1);
    }
    plot_pid = Spawn(receiver.plot, out, pipe_ends[0]);
    close(pipe_ends[0]);
  }
  pid_t pid = -1;
  if (receiver.serve && scenario.long_run) {
    // A long run: the page reads the news alone (no lines timed).
    pid = Spawn(receiver.command, pipe_ends[1]);
    close(pipe_ends[1]);
    watch = std::make_unique<PageWatch>(-1, -1, kServePort);
  } else if (receiver.serve) {
    // Served, the report passes through the page's watch on its way.
    int relay_ends[2];
    if (pipe2(relay_ends, O_CLOEXEC) != 0) {
      perror("receiver-benchmark: pipe");
      exit(1);
    }
    pid = Spawn(receiver.command, relay_ends[1]);
    close(relay_ends[1]);
    watch = std::make_unique<PageWatch>(relay_ends[0], pipe_ends[1], kServePort);
  } else {
    pid = Spawn(receiver.command, plot_pid > 0 ? pipe_ends[1] : out);
    if (plot_pid > 0) close(pipe_ends[1]);
  }
  for (double start = Now(); !PortBound() && Now() - start < 10;) Sleep(0.002);

  std::vector<std::string> send = {sender};
  send.insert(send.end(), scenario.sender_args.begin(), scenario.sender_args.end());
  int null_out = open("/dev/null", O_WRONLY);
  const double start = Now();
  const double host_start = HostBusySeconds();
  pid_t sender_pid = Spawn(send, null_out);
  close(null_out);
  waitpid(sender_pid, nullptr, 0);
  // On loopback every datagram is queued or dropped within its send, so the
  // count is whole once the sender is done. A receiver that has ended
  // already took all 1000 and dropped none.
  Measurement m;
  if (!ReadPortDrops(kReceiverPort, &m.dropped)) m.dropped = 0;

  // A receiver that kept up ends within moments of the last telegram; one
  // that lost telegrams waits for ever and is stopped.
  int status = 0;
  rusage usage = {};
  double deadline = Now() + 3;
  pid_t done = 0;
  while ((done = wait4(pid, &status, WNOHANG, &usage)) == 0 && Now() < deadline) Sleep(0.001);
  m.ended = done == pid;
  m.wall_seconds = Now() - start;
  m.host_cpu_seconds = HostBusySeconds() - host_start;
  if (!m.ended) {
    kill(pid, SIGKILL);
    wait4(pid, &status, 0, &usage);
  }
  m.cpu_seconds = CpuSeconds(usage);
  if (plot_pid > 0) {
    // The plot ends once the receiver's output does, and its last page is
    // written; served, once its page is told the report is over, and it is
    // interrupted, as Ctrl-C does.
    if (watch) {
      watch->Finish(3);
      kill(plot_pid, SIGINT);
    }
    rusage plot_usage = {};
    while ((done = wait4(plot_pid, &status, WNOHANG, &plot_usage)) == 0 && Now() < deadline + 3) Sleep(0.001);
    if (done != plot_pid) {
      m.ended = false;
      kill(plot_pid, SIGKILL);
      wait4(plot_pid, &status, 0, &plot_usage);
    }
    m.plot_cpu_seconds = CpuSeconds(plot_usage);
  }
  close(out);
  if (receiver.plot_after && m.ended) {
    // The finished report, from its file, into a folder.
    std::vector<std::string> plot = receiver.plot;
    plot.push_back(path);
    const int quiet = open("/dev/null", O_WRONLY);
    rusage plot_usage = {};
    wait4(Spawn(plot, quiet), &status, 0, &plot_usage);
    close(quiet);
    m.plot_cpu_seconds = CpuSeconds(plot_usage);
  }
  if (watch) {
    m.reported = watch->telegrams();
    m.latencies = watch->Latencies();
  } else {
    m.reported = !receiver.plot_folder.empty() ? PlotState(receiver.plot_folder, "telegrams") : CountTypeLines(path);
  }
  if (!receiver.plot_folder.empty()) m.passed_over = PlotState(receiver.plot_folder, "passedOver");
  unlink(path);
  return m;
}

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The first line of a file, such as a kernel setting under /proc/sys.
std::string FirstLine(const char* path) {
  FILE* file = fopen(path, "r");
  if (file == nullptr) return "?";
  char line[256] = "";
  if (!fgets(line, sizeof line, file)) line[0] = '\0';
  fclose(file);
  std::string text(line);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The CPU's model, as /proc/cpuinfo names it.
std::string CpuModel() {
  FILE* info = fopen("/proc/cpuinfo", "r");
  if (info == nullptr) return "?";
  char line[512];
  std::string model = "?";
  while (fgets(line, sizeof line, info)) {
    if (strncmp(line, "model name", 10) == 0 && strchr(line, ':') != nullptr) {
      model = strchr(line, ':') + 2;
      while (!model.empty() && model.back() == '\n') model.pop_back();
      break;
    }
  }
  fclose(info);
  return model;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  int only = 0;
  bool only_added = false;
  std::vector<Receiver> more;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = static_cast<int>(strtol(argv[++i], nullptr, 10));
    } else if (strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = static_cast<int>(strtol(argv[++i], nullptr, 10));
    } else if (strcmp(argv[i], "--only-added") == 0) {
      only_added = true;
    } else if (strcmp(argv[i], "--receiver") == 0 && i + 2 < argc) {
      Receiver receiver = {argv[i + 1], {}, {}, ""};
      const std::string command = argv[i + 2];
      for (size_t at = 0; at < command.size();) {
        const size_t space = command.find(' ', at);
        const size_t end = space == std::string::npos ? command.size() : space;
        if (end > at) receiver.command.push_back(command.substr(at, end - at));
        at = end + 1;
      }
      more.push_back(receiver);
      i += 2;
    } else {
      fprintf(stderr,
              "usage: receiver-benchmark [--rounds N] [--only 1-5] [--receiver NAME \"COMMAND ARGS\"]... "
              "[--only-added]\n");
      return 2;
    }
  }
  if (rounds < 1) rounds = 1;

  const std::string dir = Dir();
  const std::string sender = dir + "/telegram-sender";
  const std::string plot_folder = "/tmp/receiver-benchmark-plot";
  std::vector<Receiver> receivers = {
      {"telegram-receiver", {dir + "/telegram-receiver"}, {}, ""},
      {"floor (values formatted once)", {dir + "/baseline-receiver", "floor"}, {}, ""},
      {"bare loop (type lines only)", {dir + "/baseline-receiver", "bare"}, {}, ""},
      {"printf per value", {dir + "/baseline-receiver", "printf"}, {}, ""},
      {"telegram-receiver | telegram-plot", {dir + "/telegram-receiver"},
       {dir + "/telegram-plot", "--follow", "-o", plot_folder}, plot_folder},
      {"telegram-receiver | plot --serve", {dir + "/telegram-receiver"},
       {dir + "/telegram-plot", "--serve", "127.0.0.1:" + std::to_string(kServePort)}, "", true},
      {"telegram-receiver, then plot -o", {dir + "/telegram-receiver"},
       {dir + "/telegram-plot", "-o", plot_folder + "-after"}, plot_folder + "-after", false, true},
  };
  const size_t first_added = receivers.size();
  if (only_added) receivers.clear();
  receivers.insert(receivers.end(), more.begin(), more.end());
  // The 1 Gbit/s blocks repeat their values, so that the floor formats them
  // once; the others format every block all the same.
  const std::vector<Scenario> scenarios = {
      {"burst: 1000 x 1,420-byte type-6 blocks 0-9, back-to-back", 1000,
       {"--no-beam", "--scans", "100", "--blocks", "10", "--size", "1420"}, false},
      {"1 Gbit/s: 1000 x 65,507-byte block-0 telegrams, one every 524 us, values over the whole range", 1000,
       {"--no-beam", "--scans", "1000", "--blocks", "1", "--size", "65507", "--rate", "1908", "--same-values"}, false},
      {"1 Gbit/s: the same with values in a smooth profile, as a scanner's distances", 1000,
       {"--no-beam", "--scans", "1000", "--blocks", "1", "--size", "65507", "--rate", "1908", "--same-values",
        "--smooth"}, false},
      {"long run, 1 Gbit/s: 10,000 x 65,507-byte block-0 telegrams, values over the whole range", 10000,
       {"--no-beam", "--scans", "10000", "--blocks", "1", "--size", "65507", "--rate", "1908", "--same-values"},
       true},
      {"long run, 1 Gbit/s: the same with values in a smooth profile", 10000,
       {"--no-beam", "--scans", "10000", "--blocks", "1", "--size", "65507", "--rate", "1908", "--same-values",
        "--smooth"}, true},
  };

  printf("receiver-benchmark: %d rounds, taken in turn; medians\n", rounds);
  utsname system = {};
  uname(&system);
  char date[64] = "";
  const time_t now = time(nullptr);
  tm utc = {};
  strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", gmtime_r(&now, &utc));
  printf("machine: %s, %ld cores; %s %s %s; net.core.rmem_max %s\n", CpuModel().c_str(),
         sysconf(_SC_NPROCESSORS_ONLN), system.sysname, system.release, system.machine,
         FirstLine("/proc/sys/net/core/rmem_max").c_str());
  printf("date: %s\n\n", date);

  for (size_t s = 0; s < scenarios.size(); ++s) {
    if (only != 0 && static_cast<size_t>(only) != s + 1) continue;
    const Scenario& scenario = scenarios[s];
    // A long run measures the program and the plots alone.
    const auto measured = [&](size_t r) {
      return !scenario.long_run || r >= first_added || r == 0 || !receivers[r].plot.empty();
    };
    std::vector<Receiver> taking = receivers;
    for (Receiver& receiver : taking) {
      if (scenario.long_run && receiver.command.front() == dir + "/telegram-receiver") {
        receiver.command = {dir + "/telegram-record", "--count", std::to_string(scenario.telegrams)};
        if (receiver.name.compare(0, 17, "telegram-receiver") == 0) receiver.name.replace(0, 17, "telegram-record");
      }
    }
    std::vector<std::vector<Measurement>> results(receivers.size());
    for (int round = 0; round < rounds; ++round) {
      for (size_t r = 0; r < receivers.size(); ++r) {
        if (measured(r)) results[r].push_back(Measure(taking[r], scenario, sender));
      }
    }
    printf("%s\n", scenario.name);
    printf("  %-34s %11s %5s %7s %8s %9s %12s %11s\n", "receiver", "reported", "lost", "ended", "wall s", "CPU s",
           "CPU us/tel.", "host CPU s");
    for (size_t r = 0; r < receivers.size(); ++r) {
      if (!measured(r)) continue;
      std::vector<long> reported, dropped;
      std::vector<double> wall, cpu, host;
      int ended = 0;
      for (const Measurement& m : results[r]) {
        reported.push_back(m.reported);
        dropped.push_back(m.dropped);
        wall.push_back(m.wall_seconds);
        cpu.push_back(m.cpu_seconds);
        host.push_back(m.host_cpu_seconds);
        ended += m.ended ? 1 : 0;
      }
      const long median_reported = Median(reported);
      const double per_telegram = median_reported > 0 ? Median(cpu) / static_cast<double>(median_reported) : 0.0;
      printf("  %-34s %5ld/%-5ld %5ld %3d/%-3d %8.3f %9.4f %12.1f %11.3f\n", taking[r].name.c_str(),
             median_reported, scenario.telegrams, *std::max_element(dropped.begin(), dropped.end()), ended, rounds,
             Median(wall), Median(cpu), per_telegram * 1e6, Median(host));
      if (!receivers[r].plot.empty()) {
        std::vector<double> plot_cpu;
        std::vector<long> passed_over;
        for (const Measurement& m : results[r]) {
          plot_cpu.push_back(m.plot_cpu_seconds);
          passed_over.push_back(m.passed_over);
        }
        const double plot_each = median_reported > 0 ? Median(plot_cpu) / static_cast<double>(median_reported) : 0.0;
        printf("  %-34s %26s %9.4f %12.1f   (the telegrams drawn, from its page; %ld blocks passed over at most)\n",
               receivers[r].plot_after ? "  telegram-plot -o afterwards" : "  of which telegram-plot", "",
               Median(plot_cpu), plot_each * 1e6, *std::max_element(passed_over.begin(), passed_over.end()));
      }
      if (receivers[r].serve) {
        std::vector<double> all;
        for (const Measurement& m : results[r]) all.insert(all.end(), m.latencies.begin(), m.latencies.end());
        if (!all.empty()) {
          printf("  %-34s a block's report line to the page: median %.1f ms, worst %.1f ms (%zu blocks told)\n",
                 "  with a page open", Median(all) * 1e3, *std::max_element(all.begin(), all.end()) * 1e3,
                 all.size());
        }
      }
    }
    // Per telegram reported, round by round: the receivers of a round ran
    // side by side, so the ratio keeps less of the host's drift than a
    // ratio of medians would.
    std::vector<double> to_floor, printf_to_program;
    for (int round = 0; round < rounds && !only_added && !scenario.long_run; ++round) {
      const Measurement& program = results[0][static_cast<size_t>(round)];
      const Measurement& floor = results[1][static_cast<size_t>(round)];
      const Measurement& by_printf = results[3][static_cast<size_t>(round)];
      if (program.reported > 0 && floor.reported > 0 && by_printf.reported > 0 && floor.cpu_seconds > 0 &&
          program.cpu_seconds > 0) {
        const double program_each = program.cpu_seconds / static_cast<double>(program.reported);
        to_floor.push_back(program_each / (floor.cpu_seconds / static_cast<double>(floor.reported)));
        printf_to_program.push_back(by_printf.cpu_seconds / static_cast<double>(by_printf.reported) / program_each);
      }
    }
    if (!to_floor.empty()) {
      printf("  CPU per telegram, median of the rounds' ratios: telegram-receiver / floor = %.2f x; "
             "printf per value / telegram-receiver = %.1f x\n",
             Median(to_floor), Median(printf_to_program));
    }
    // Each receiver added by --receiver against the program, in the same way.
    for (size_t r = only_added ? receivers.size() : first_added; r < receivers.size(); ++r) {
      std::vector<double> to_program;
      for (int round = 0; round < rounds; ++round) {
        const Measurement& program = results[0][static_cast<size_t>(round)];
        const Measurement& added = results[r][static_cast<size_t>(round)];
        if (program.reported > 0 && added.reported > 0 && program.cpu_seconds > 0) {
          to_program.push_back(added.cpu_seconds / static_cast<double>(added.reported) /
                               (program.cpu_seconds / static_cast<double>(program.reported)));
        }
      }
      if (!to_program.empty()) {
        printf("  CPU per telegram, median of the rounds' ratios: %s / telegram-receiver = %.3f x\n",
               receivers[r].name.c_str(), Median(to_program));
      }
    }
    printf("\n");
    fflush(stdout);
  }
  return 0;
}
