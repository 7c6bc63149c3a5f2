#include "telegram/telegram_report.h"

#include "telegram/beam_count_report.h"
#include "telegram/block_value_report.h"
#include "telegram/report_format.h"

void ReportTelegram(Telegram t, ReportOutput* out) {
  uint16_t type = TelegramType(t);
  OutputFormat(out, kTypeLineFormat, static_cast<int>(type));
  if (type == 1) {
    ReportBeamCount(t, out);
  } else if (type == 6) {
    ReportBlockValues(t, out);
  }
}
