#include "plot/block_picture.h"

#include <algorithm>
#include <cstdio>

#include "plot/nice_scale.h"

namespace {

void Append(std::string* out, const char* format, double a, double b = 0, double c = 0, double d = 0) {
  char piece[160];
  const int n = snprintf(piece, sizeof piece, format, a, b, c, d);
  if (n > 0) out->append(piece, static_cast<size_t>(n) < sizeof piece ? static_cast<size_t>(n) : sizeof piece - 1);
}

// A number with three decimals, as "%.3f" writes it, but some ten times
// faster: a picture holds up to 1,600 of them.
void AppendMilli(std::string* out, double value) {
  long long milli = static_cast<long long>(value * 1000.0 + (value < 0 ? -0.5 : 0.5));
  if (milli < 0) {
    out->push_back('-');
    milli = -milli;
  }
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + milli % 10);
    milli /= 10;
  } while (milli != 0 || n < 4);
  for (int i = n - 1; i >= 3; --i) out->push_back(digits[i]);
  out->push_back('.');
  for (int i = 2; i >= 0; --i) out->push_back(digits[i]);
}

// Where `value` lies on the values' scale, in pixels from the top.
double Y(const NiceScale& scale, double value) {
  return kPlotTop +
         kPlotHeight * (static_cast<double>(scale.high) - value) / static_cast<double>(scale.high - scale.low);
}

// The heading of a block whose values range from `smallest` to `largest`.
std::string Heading(const ReportBlock& block, uint16_t smallest, uint16_t largest) {
  std::string heading = "Scan " + std::to_string(block.scan_no) + ", block " + std::to_string(block.block_no) + ": " +
                        std::to_string(block.values.size()) + (block.values.size() == 1 ? " value" : " values");
  if (!block.values.empty()) {
    heading += block.values.size() == 1 ? " of " + std::to_string(smallest)
                                        : " from " + std::to_string(smallest) + " to " + std::to_string(largest);
  }
  return heading;
}

void AppendAxes(std::string* svg, const NiceScale& y, size_t count) {
  svg->append("<g font-family=\"sans-serif\" font-size=\"11\" fill=\"#333\">\n");
  for (long long tick = y.low; tick <= y.high; tick += y.step) {
    const double at = Y(y, static_cast<double>(tick));
    Append(svg, "<line x1=\"%.0f\" y1=\"%.3f\" x2=\"%.0f\" y2=\"%.3f\" stroke=\"#e4e4e4\"/>", kPlotLeft, at,
           kPlotLeft + kPlotColumns, at);
    Append(svg, "<text x=\"%.0f\" y=\"%.3f\" text-anchor=\"end\">%.0f</text>\n", kPlotLeft - 6, at + 4,
           static_cast<double>(tick));
  }
  // The index: ticks at round numbers from 0 to the last value.
  const NiceScale index = MakeNiceScale(0, static_cast<long long>(count > 0 ? count - 1 : 0), 9);
  for (long long tick = 0; tick <= static_cast<long long>(count) - 1; tick += index.step) {
    const double at = kPlotLeft + (static_cast<double>(tick) + 0.5) * kPlotColumns / static_cast<double>(count);
    Append(svg, "<line x1=\"%.3f\" y1=\"%.0f\" x2=\"%.3f\" y2=\"%.0f\" stroke=\"#555\"/>", at, kPlotTop + kPlotHeight,
           at, kPlotTop + kPlotHeight + 5);
    Append(svg, "<text x=\"%.3f\" y=\"%.0f\" text-anchor=\"middle\">%.0f</text>\n", at, kPlotTop + kPlotHeight + 18,
           static_cast<double>(tick));
  }
  Append(svg, "<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"middle\">value index</text>\n",
         kPlotLeft + kPlotColumns / 2.0, kPlotTop + kPlotHeight + 38);
  svg->append("</g>\n");
  Append(svg, "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" stroke=\"#555\"/>\n",
         kPlotLeft, kPlotTop, kPlotColumns, kPlotHeight);
}

// The values as one path, in pixels: a line through each value, or a range
// for each column. A column whose values are all alike is a level stroke a
// pixel wide, since a stroke of no length is not drawn.
void AppendValues(std::string* svg, const NiceScale& y, const std::vector<uint16_t>& values) {
  const size_t count = values.size();
  const bool columns = count > static_cast<size_t>(kPlotColumns);
  Append(svg, "<path class=\"values\" data-columns=\"%.0f\" data-low=\"%.0f\" data-high=\"%.0f\"", kPlotColumns,
         static_cast<double>(y.low), static_cast<double>(y.high));
  svg->append(columns ? " data-mode=\"columns\"" : " data-mode=\"points\"");
  svg->append(" fill=\"none\" stroke=\"#1f5fa8\" stroke-width=\"1\" stroke-linecap=\"square\" d=\"");
  if (!columns && count == 1) {
    Append(svg, "M%.0f %.3fH%.0f", kPlotLeft, Y(y, values[0]), kPlotLeft + kPlotColumns);
  } else if (!columns) {
    const double width = static_cast<double>(kPlotColumns) / static_cast<double>(count);
    for (size_t i = 0; i < count; ++i) {
      Append(svg, i == 0 ? "M%.3f %.3f" : " %.3f %.3f", kPlotLeft + (static_cast<double>(i) + 0.5) * width,
             Y(y, values[i]));
      if (i == 0) svg->append("L");
    }
  } else {
    for (size_t column = 0; column < static_cast<size_t>(kPlotColumns); ++column) {
      const size_t begin = column * count / kPlotColumns;
      const size_t end = (column + 1) * count / kPlotColumns;
      uint16_t smallest = values[begin];
      uint16_t largest = values[begin];
      for (size_t i = begin + 1; i < end; ++i) {
        smallest = std::min(smallest, values[i]);
        largest = std::max(largest, values[i]);
      }
      const std::string x = std::to_string(kPlotLeft + static_cast<int>(column));
      svg->push_back('M');
      if (smallest == largest) {
        *svg += x;
        svg->push_back(' ');
        AppendMilli(svg, Y(y, smallest));
        svg->append("h1");
      } else {
        *svg += x;
        svg->append(".5 ");
        AppendMilli(svg, Y(y, largest));
        svg->push_back('V');
        AppendMilli(svg, Y(y, smallest));
      }
    }
  }
  svg->append("\"/>\n");
}

}  // namespace

void ValueRange(const std::vector<uint16_t>& values, uint16_t* smallest, uint16_t* largest) {
  *smallest = values.empty() ? 0 : values[0];
  *largest = *smallest;
  // Sixteen lanes side by side, which the compiler makes vector operations
  // of: a block has up to 32,743 values, and its range is found for each.
  const size_t kLanes = 16;
  uint16_t low[kLanes];
  uint16_t high[kLanes];
  std::fill(low, low + kLanes, *smallest);
  std::fill(high, high + kLanes, *smallest);
  const uint16_t* v = values.data();
  size_t i = 0;
  for (; i + kLanes <= values.size(); i += kLanes) {
    for (size_t lane = 0; lane < kLanes; ++lane) {
      low[lane] = v[i + lane] < low[lane] ? v[i + lane] : low[lane];
      high[lane] = v[i + lane] > high[lane] ? v[i + lane] : high[lane];
    }
  }
  for (; i < values.size(); ++i) {
    low[0] = std::min(low[0], v[i]);
    high[0] = std::max(high[0], v[i]);
  }
  *smallest = *std::min_element(low, low + kLanes);
  *largest = *std::max_element(high, high + kLanes);
}

std::string BlockHeading(const ReportBlock& block) {
  uint16_t smallest = 0;
  uint16_t largest = 0;
  ValueRange(block.values, &smallest, &largest);
  return Heading(block, smallest, largest);
}

std::string BlockPicture(const ReportBlock& block) {
  uint16_t smallest = 0;
  uint16_t largest = 0;
  ValueRange(block.values, &smallest, &largest);
  const NiceScale y = MakeNiceScale(smallest, largest, 8);
  std::string svg;
  svg.reserve(size_t{32} * 1024);
  Append(&svg, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\">\n",
         kPictureWidth, kPictureHeight, kPictureWidth, kPictureHeight);
  const std::string heading = Heading(block, smallest, largest);
  svg += "<title>" + heading + "</title>\n";
  Append(&svg, "<rect width=\"%.0f\" height=\"%.0f\" fill=\"white\"/>\n", kPictureWidth, kPictureHeight);
  Append(&svg, "<text x=\"%.0f\" y=\"24\" font-family=\"sans-serif\" font-size=\"15\" fill=\"#222\">", kPlotLeft);
  svg += heading;
  if (block.cut_short) svg += std::string("<tspan fill=\"#b00000\"> ") + kCutShortNote + "</tspan>";
  svg += "</text>\n";
  AppendAxes(&svg, y, block.values.size());
  AppendValues(&svg, y, block.values);
  svg += "</svg>\n";
  return svg;
}
