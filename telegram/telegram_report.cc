#include "telegram/telegram_report.h"

#include "telegram/beam_count_report.h"
#include "telegram/block_value_report.h"
#include "telegram/report_format.h"

void FormatTelegram(Telegram t, ReportOutput* out) {
  uint16_t type = TelegramType(t);
  out->AppendFormatted(kTypeLineFormat, static_cast<int>(type));
  if (type == kBeamRangeType) {
    FormatBeamCount(t, out);
  } else if (type == kBlockValuesType) {
    FormatBlockValues(t, out);
  }
}
