// Reading back what a picture draws, for the tests: the path of its values
// as the SVG gives it, turned back into values.
#ifndef PLOT_PICTURE_CHECK_TEST_UTIL_H_
#define PLOT_PICTURE_CHECK_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

// One column (columns mode) or one point (points mode) as drawn.
struct DrawnRange {
  double x;         // in pixels
  long smallest;    // the values its ends stand for
  long largest;
};

struct DrawnValues {
  bool ok = false;
  std::string why;  // if not
  bool columns = false;
  std::vector<DrawnRange> ranges;
};

// The values path of `svg`, each coordinate turned back into a value
// through the scale the picture gives (and rounded: the picture writes its
// coordinates to a thousandth of a pixel).
DrawnValues ReadDrawnValues(const std::string& svg);

// Checks that `svg` draws exactly `values`: for each column, the smallest
// and the largest of the values that fall in it; else each value as a
// point. "" if it does, else what differs.
std::string CheckPicture(const std::string& svg, const std::vector<uint16_t>& values);

#endif  // PLOT_PICTURE_CHECK_TEST_UTIL_H_
