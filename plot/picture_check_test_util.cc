#include "plot/picture_check_test_util.h"

#include <cmath>
#include <cstdlib>

#include "plot/block_picture.h"

namespace {

std::string Attribute(const std::string& element, const std::string& name) {
  const size_t at = element.find(" " + name + "=\"");
  if (at == std::string::npos) return "";
  const size_t start = at + name.size() + 3;
  return element.substr(start, element.find('"', start) - start);
}

}  // namespace

DrawnValues ReadDrawnValues(const std::string& svg) {
  DrawnValues drawn;
  const size_t at = svg.find("<path class=\"values\"");
  if (at == std::string::npos) {
    drawn.why = "no values path";
    return drawn;
  }
  const std::string element = svg.substr(at, svg.find("/>", at) - at);
  drawn.columns = Attribute(element, "data-mode") == "columns";
  const double low = strtod(Attribute(element, "data-low").c_str(), nullptr);
  const double high = strtod(Attribute(element, "data-high").c_str(), nullptr);
  const auto value = [&](double y) {
    return std::lround(high - (y - kPlotTop) * (high - low) / kPlotHeight);
  };
  const std::string d = Attribute(element, "d");
  const char* p = d.c_str();
  char* end = nullptr;
  double x = 0;
  double y = 0;
  while (*p != '\0') {
    const char command = *p;
    if (command == 'M' || command == 'L' || command == ' ') {
      x = strtod(p + 1, &end);
      y = strtod(end, &end);
      p = end;
      if (*p == 'V') {  // a column's range: from its largest down to its smallest
        const double y2 = strtod(p + 1, &end);
        p = end;
        drawn.ranges.push_back(DrawnRange{x, value(y2), value(y)});
      } else if (*p == 'h' || *p == 'H') {  // a column of values all alike; a lone value, across the plot
        strtod(p + 1, &end);
        p = end;
        drawn.ranges.push_back(DrawnRange{x, value(y), value(y)});
      } else {
        drawn.ranges.push_back(DrawnRange{x, value(y), value(y)});
      }
      continue;
    }
    drawn.why = std::string("unexpected '") + command + "' in the path";
    return drawn;
  }
  drawn.ok = true;
  return drawn;
}

std::string CheckPicture(const std::string& svg, const std::vector<uint16_t>& values) {
  const DrawnValues drawn = ReadDrawnValues(svg);
  if (!drawn.ok) return drawn.why;
  const size_t count = values.size();
  if (drawn.columns != (count > static_cast<size_t>(kPlotColumns))) return "the wrong mode for " + std::to_string(count);
  const size_t expected = drawn.columns ? static_cast<size_t>(kPlotColumns) : count;
  if (drawn.ranges.size() != expected) {
    return std::to_string(drawn.ranges.size()) + " ranges drawn, not " + std::to_string(expected);
  }
  for (size_t i = 0; i < expected; ++i) {
    long smallest = values[i];
    long largest = values[i];
    double x = kPlotLeft + (static_cast<double>(i) + 0.5) * kPlotColumns / static_cast<double>(count);
    if (drawn.columns) {
      // The values that fall in column i: those whose place maps into it.
      const size_t begin = i * count / kPlotColumns;
      const size_t end = (i + 1) * count / kPlotColumns;
      smallest = largest = values[begin];
      for (size_t v = begin; v < end; ++v) {
        if (values[v] < smallest) smallest = values[v];
        if (values[v] > largest) largest = values[v];
      }
      x = kPlotLeft + static_cast<double>(i);
    }
    const DrawnRange& range = drawn.ranges[i];
    const bool across = !drawn.columns && count == 1;  // a lone value is drawn across the plot
    if ((!across && std::floor(range.x) != std::floor(x)) || range.smallest != smallest || range.largest != largest) {
      return "at " + std::to_string(i) + ": drawn " + std::to_string(range.smallest) + " to " +
             std::to_string(range.largest) + " at x " + std::to_string(range.x) + ", the values " +
             std::to_string(smallest) + " to " + std::to_string(largest) + " at x " + std::to_string(x);
    }
  }
  return "";
}
