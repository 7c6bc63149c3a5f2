// index.html: every picture of a report, in the report's order, each under
// its heading, so that a whole run is one page in a browser. The page is a
// frame written once (and once more at the end, to say how the report
// ended); the pictures are listed in blocks.js beside it, a line added for
// each, which the page reads. Adding a picture so costs the same however
// many came before it. While the report is still being written the page
// reloads itself every two seconds.
#ifndef PLOT_PLOT_PAGE_H_
#define PLOT_PLOT_PAGE_H_

#include <string>

// The list of pictures the page reads, beside it.
constexpr char kPageName[] = "index.html";
constexpr char kPictureListName[] = "blocks.js";

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

// The frame of the page.
std::string PlotPage(const PageState& state);

// The line of blocks.js that adds `picture` to the page.
std::string PictureListLine(const PagePicture& picture);

#endif  // PLOT_PLOT_PAGE_H_
