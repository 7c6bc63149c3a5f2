#include "plot/page_assets.h"

// Made in the build by cmake/embed.cmake.
extern const unsigned char kIndexHtml[];
extern const size_t kIndexHtmlSize;
extern const unsigned char kPageJs[];
extern const size_t kPageJsSize;
extern const unsigned char kUplotJs[];
extern const size_t kUplotJsSize;
extern const unsigned char kUplotCss[];
extern const size_t kUplotCssSize;

namespace {

std::string Bytes(const unsigned char* bytes, size_t size) {
  return std::string(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

const std::vector<PageAsset>& PageAssets() {
  static const std::vector<PageAsset> assets = {
      {"index.html", "text/html; charset=utf-8", Bytes(kIndexHtml, kIndexHtmlSize)},
      {"page.js", "text/javascript; charset=utf-8", Bytes(kPageJs, kPageJsSize)},
      {"uPlot.iife.min.js", "text/javascript; charset=utf-8", Bytes(kUplotJs, kUplotJsSize)},
      {"uPlot.min.css", "text/css; charset=utf-8", Bytes(kUplotCss, kUplotCssSize)},
  };
  return assets;
}
