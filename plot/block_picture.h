// The picture of one block: its values against their index, as SVG, with
// axes, round tick labels and a title. Where there are no more values than
// the plot has pixel columns, each value is a point of a line; where there
// are more, each column draws the range from the smallest to the largest of
// the values that fall in it, as an oscilloscope draws a long record, so
// that no value is hidden and the file stays small.
#ifndef PLOT_BLOCK_PICTURE_H_
#define PLOT_BLOCK_PICTURE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "telegram/report_reader.h"

// The plot area, in pixels: a column a pixel wide for each of
// kPlotColumns, kPlotHeight high, its top left corner at (kPlotLeft,
// kPlotTop) of a picture kPictureWidth by kPictureHeight.
const int kPlotColumns = 800;
const int kPlotHeight = 260;
const int kPlotLeft = 70;
const int kPlotTop = 40;
const int kPictureWidth = kPlotLeft + kPlotColumns + 20;
const int kPictureHeight = kPlotTop + kPlotHeight + 50;

// Said beside a block whose values the report ends in.
constexpr char kCutShortNote[] = "(cut short: the report ends in its values)";

// The smallest and the largest of a block's values; 0 and 0 for none.
void ValueRange(const std::vector<uint16_t>& values, uint16_t* smallest, uint16_t* largest);

// Words that name a block and say what it holds: "Scan 12, block 0: 32743
// values from 1000 to 3000".
std::string BlockHeading(const ReportBlock& block);

// The SVG of a block that has values.
std::string BlockPicture(const ReportBlock& block);

#endif  // PLOT_BLOCK_PICTURE_H_
