// Round numbers for the ticks of an axis: steps of 1, 2 or 5 times a power
// of ten, so that the labels read easily.
#ifndef PLOT_NICE_SCALE_H_
#define PLOT_NICE_SCALE_H_

struct NiceScale {
  long long low;   // the axis's first tick, at or below the smallest value
  long long high;  // its last, at or above the largest; above `low`
  long long step;  // between ticks
};

// The scale of whole numbers with the finest round step that covers
// `smallest` to `largest` in at most `intervals` steps.
NiceScale MakeNiceScale(long long smallest, long long largest, int intervals);

#endif  // PLOT_NICE_SCALE_H_
