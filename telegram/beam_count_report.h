// The report on a type-1 telegram: how many beams its beam range holds,
// beside three raw header fields.
#ifndef TELEGRAM_BEAM_COUNT_REPORT_H_
#define TELEGRAM_BEAM_COUNT_REPORT_H_

#include <cstdint>

#include "telegram/report_output.h"
#include "telegram/telegram.h"

// Beams from BeamStart to BeamStop in steps of BeamStep: the ceiling of
// (stop - start) / step, plus 1. 0 when all three are 0, and 0 when the step
// is 0 but the range is not, since that quotient has no finite value.
int32_t BeamCount(uint16_t start, uint16_t stop, uint16_t step);

// "BeamCount : <count>\t<HeaderByte4>\t<TotalSize>\t<HeaderByte8>\r\n"
void FormatBeamCount(Telegram t, ReportOutput* out);

#endif  // TELEGRAM_BEAM_COUNT_REPORT_H_
