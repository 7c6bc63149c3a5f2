#include "telegram/beam_count_report.h"

#include <cmath>

#include "telegram/report_format.h"

int32_t BeamCount(uint16_t start, uint16_t stop, uint16_t step) {
  if (step == 0) return 0;
  // The difference is signed: a range that runs downward gives a negative
  // quotient, whose ceiling rounds toward zero. With 16-bit operands and a
  // step of at least 1 the double quotient never lands on the wrong side of
  // a whole number, and its ceiling always fits in 32 bits.
  double quotient = static_cast<double>(static_cast<int32_t>(stop) - static_cast<int32_t>(start)) / step;
  return static_cast<int32_t>(std::ceil(quotient)) + 1;
}

void FormatBeamCount(Telegram t, ReportOutput* out) {
  out->AppendFormatted(kBeamCountLineFormat,
               static_cast<int>(BeamCount(BeamStart(t), BeamStop(t), BeamStep(t))),
               static_cast<int>(HeaderByte4(t)), static_cast<int>(static_cast<int32_t>(TotalSize(t))),
               static_cast<int>(HeaderByte8(t)));
}
