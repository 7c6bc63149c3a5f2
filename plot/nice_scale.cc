#include "plot/nice_scale.h"

#include <initializer_list>

namespace {

long long FloorTo(long long value, long long step) {
  const long long q = value / step;
  return (value % step != 0 && value < 0 ? q - 1 : q) * step;
}

long long CeilTo(long long value, long long step) {
  const long long q = value / step;
  return (value % step != 0 && value > 0 ? q + 1 : q) * step;
}

}  // namespace

NiceScale MakeNiceScale(long long smallest, long long largest, int intervals) {
  for (long long power = 1;; power *= 10) {
    for (long long step : {power, 2 * power, 5 * power}) {
      NiceScale scale = {FloorTo(smallest, step), CeilTo(largest, step), step};
      if (scale.high == scale.low) scale.high = scale.low + step;
      if ((scale.high - scale.low) / step <= intervals) return scale;
    }
  }
}
