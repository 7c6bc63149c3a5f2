// The page of telegram-plot and the chart library it draws with, built into
// the program (cmake/embed.cmake), so that the page works with no network:
// served by --serve at its fixed routes, and written beside the folder's
// pictures with -o.
#ifndef PLOT_PAGE_ASSETS_H_
#define PLOT_PAGE_ASSETS_H_

#include <cstddef>
#include <string>
#include <vector>

struct PageAsset {
  const char* name;  // its file name beside the page, and its route: "/" + name ("/" for the page)
  const char* type;  // its media type
  std::string bytes;
};

// index.html first, then what it loads: page.js, uPlot.iife.min.js,
// uPlot.min.css.
const std::vector<PageAsset>& PageAssets();

#endif  // PLOT_PAGE_ASSETS_H_
