#include "plot/plot_page.h"

#include "plot/block_picture.h"

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string PlotPage(const std::vector<PagePicture>& pictures, const PageState& state) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>telegram-plot: " +
      Escaped(state.source) + "</title>\n";
  if (state.following) page += "<meta http-equiv=\"refresh\" content=\"2\">\n";
  page +=
      "<style>body{font-family:sans-serif;margin:1em 2em;color:#222}figure{margin:1.2em 0}"
      "figcaption{font-weight:bold;margin-bottom:.3em}img{display:block;max-width:100%;height:auto}"
      ".note{color:#b00000}</style>\n</head>\n<body>\n<h1>" +
      Escaped(state.source) + "</h1>\n<p id=\"summary\">" + std::to_string(state.telegrams) +
      (state.telegrams == 1 ? " telegram, " : " telegrams, ") + std::to_string(pictures.size()) +
      (pictures.size() == 1 ? " picture" : " pictures") + " of blocks with values. ";
  if (!state.damage.empty()) {
    page += "<span class=\"note\">The report is damaged: " + Escaped(state.damage) + ".</span>";
  } else if (state.following) {
    page += "The report is still being written: this page reloads itself.";
  } else if (state.whole) {
    page += "The report is whole.";
  } else {
    page += "<span class=\"note\">The report is cut short: it ends without its closing lines.</span>";
  }
  page += "</p>\n<p id=\"status\"></p>\n";
  for (size_t i = 0; i < pictures.size(); ++i) {
    const PagePicture& picture = pictures[i];
    page += "<figure id=\"p" + std::to_string(i + 1) + "\"><figcaption>" + Escaped(picture.heading);
    if (picture.cut_short) page += std::string(" <span class=\"note\">") + kCutShortNote + "</span>";
    page += "</figcaption><img src=\"" + Escaped(picture.file) + "\" alt=\"" + Escaped(picture.heading) +
            "\" width=\"" + std::to_string(kPictureWidth) + "\" height=\"" + std::to_string(kPictureHeight) +
            "\"></figure>\n";
  }
  // How many pictures the browser could show, for the reader (and a test).
  page +=
      "<script>\nwindow.addEventListener('load', function () {\n"
      "  var shown = 0;\n"
      "  for (var i = 0; i < document.images.length; ++i) {\n"
      "    if (document.images[i].complete && document.images[i].naturalWidth > 0) ++shown;\n"
      "  }\n"
      "  document.getElementById('status').textContent = shown + ' of ' + document.images.length +\n"
      "    ' pictures shown';\n"
      "});\n</script>\n</body>\n</html>\n";
  return page;
}
