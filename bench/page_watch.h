// What a browser sees of telegram-plot --serve while the benchmark runs.
// The report is relayed on its way from the receiver to the plot, and the
// moment each block's TotalSize line passes is noted; the news the plot
// pushes to a page (/events) is read as a browser reads it, and the moment
// each newest block is told is noted. From the two: the time from a report
// line to the page.
#ifndef BENCH_PAGE_WATCH_H_
#define BENCH_PAGE_WATCH_H_

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

class PageWatch {
 public:
  // Relays `from` (the receiver's output) into `to` (the plot's input),
  // and reads the news of the plot serving at 127.0.0.1:`port`. Owns both
  // descriptors. With `from` -1, the news alone: the relay costs the host
  // a copy of the report, which a long run at full rate cannot spare.
  PageWatch(int from, int to, int port);
  // Stops reading the news, and joins both threads.
  ~PageWatch();
  PageWatch(const PageWatch&) = delete;
  PageWatch& operator=(const PageWatch&) = delete;

  // Waits up to `seconds` for the relay to end and the page to be told
  // that the report is over.
  void Finish(double seconds);

  // The telegrams read, as the page was last told.
  long telegrams() const { return telegrams_; }
  // For each block the page was told of: seconds from its TotalSize line
  // passing to the news of it. Once Finish has returned.
  std::vector<double> Latencies() const;

 private:
  void Relay();
  void Listen();
  void Join();

  const int from_;
  const int to_;
  const int port_;
  std::vector<std::pair<long long, double>> lines_;  // scan, when its line passed (the relay's)
  std::vector<std::pair<long long, double>> told_;   // scan, when the page was told (the listener's)
  std::atomic<long> telegrams_{0};
  std::atomic<bool> relayed_{false};
  std::atomic<bool> over_{false};  // the page was told the report is over
  std::atomic<bool> stop_{false};
  std::thread relay_;
  std::thread listen_;
};

#endif  // BENCH_PAGE_WATCH_H_
