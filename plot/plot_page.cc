#include "plot/plot_page.h"

#include <cstdio>

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

// `text` as a JavaScript string literal, which also cannot end a script
// element early.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::string PlotPage(const PageState& state) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>telegram-plot: " +
      Escaped(state.source) + "</title>\n";
  if (state.following) page += "<meta http-equiv=\"refresh\" content=\"2\">\n";
  page +=
      "<style>body{font-family:sans-serif;margin:1em 2em;color:#222}figure{margin:1.2em 0}"
      "figcaption{font-weight:bold;margin-bottom:.3em}img{display:block;max-width:100%;height:auto}"
      ".note{color:#b00000}</style>\n</head>\n<body>\n<h1>" +
      Escaped(state.source) + "</h1>\n<p id=\"summary\">";
  // While the report is still being written, the count would soon be old.
  if (!state.following) {
    page += std::to_string(state.telegrams) + (state.telegrams == 1 ? " telegram" : " telegrams") + " read; ";
  }
  page += "<span id=\"count\"></span>. ";
  if (!state.damage.empty()) {
    page += "<span class=\"note\">The report is damaged: " + Escaped(state.damage) + ".</span>";
  } else if (state.following) {
    page += "The report is still being written: this page reloads itself.";
  } else if (state.whole) {
    page += "The report is whole.";
  } else {
    page += "<span class=\"note\">The report is cut short: it ends without its closing lines.</span>";
  }
  page += "</p>\n<p id=\"status\"></p>\n<div id=\"pictures\"></div>\n";
  // The pictures listed beside the page, each a figure under its heading;
  // then how many the browser could show, for the reader (and a test).
  page += std::string(
              "<script>\n"
              "var pictures = [];\n"
              "function picture(p) { pictures.push(p); }\n"
              "</script>\n<script src=\"") +
          kPictureListName +
          "\"></script>\n<script>\n"
          "(function () {\n"
          "  var place = document.getElementById('pictures');\n"
          "  pictures.forEach(function (p, i) {\n"
          "    var figure = document.createElement('figure');\n"
          "    figure.id = 'p' + (i + 1);\n"
          "    var caption = document.createElement('figcaption');\n"
          "    caption.textContent = p.heading;\n"
          "    if (p.cutShort) {\n"
          "      var note = document.createElement('span');\n"
          "      note.className = 'note';\n"
          "      note.textContent = ' ' + " +
          Quoted(kCutShortNote) +
          ";\n"
          "      caption.appendChild(note);\n"
          "    }\n"
          "    var img = document.createElement('img');\n"
          "    img.src = p.file;\n"
          "    img.alt = p.heading;\n"
          "    img.width = " +
          std::to_string(kPictureWidth) + ";\n    img.height = " + std::to_string(kPictureHeight) +
          ";\n"
          "    figure.appendChild(caption);\n"
          "    figure.appendChild(img);\n"
          "    place.appendChild(figure);\n"
          "  });\n"
          "  document.getElementById('count').textContent = pictures.length +\n"
          "    (pictures.length == 1 ? ' picture' : ' pictures') + ' of blocks with values';\n"
          "})();\n"
          "window.addEventListener('load', function () {\n"
          "  var shown = 0;\n"
          "  for (var i = 0; i < document.images.length; ++i) {\n"
          "    if (document.images[i].complete && document.images[i].naturalWidth > 0) ++shown;\n"
          "  }\n"
          "  document.getElementById('status').textContent = shown + ' of ' + document.images.length +\n"
          "    ' pictures shown';\n"
          "});\n</script>\n</body>\n</html>\n";
  return page;
}

std::string PictureListLine(const PagePicture& picture) {
  return "picture({file: " + Quoted(picture.file) + ", heading: " + Quoted(picture.heading) +
         ", cutShort: " + (picture.cut_short ? "true" : "false") + "});\n";
}
