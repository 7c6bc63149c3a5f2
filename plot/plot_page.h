// index.html: every picture of a report, in the report's order, each under
// its heading, so that a whole run is one page in a browser. While the
// report is still being written the page reloads itself every two seconds.
#ifndef PLOT_PLOT_PAGE_H_
#define PLOT_PLOT_PAGE_H_

#include <string>
#include <vector>

struct PagePicture {
  std::string file;     // the SVG, beside the page
  std::string heading;  // scan, block, number of values, smallest and largest
  bool cut_short;
};

struct PageState {
  std::string source;  // the report's name
  long telegrams;      // read so far
  bool following;      // still being written: the page reloads itself
  bool whole;          // the report ends with its closing lines
  std::string damage;  // where it stops being a report, or empty
};

std::string PlotPage(const std::vector<PagePicture>& pictures, const PageState& state);

#endif  // PLOT_PLOT_PAGE_H_
