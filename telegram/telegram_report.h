// The report on one received telegram: its type line, then the report its
// type calls for (type 1: beam count, type 6: block values, others: none).
#ifndef TELEGRAM_TELEGRAM_REPORT_H_
#define TELEGRAM_TELEGRAM_REPORT_H_

#include "telegram/report_output.h"
#include "telegram/telegram.h"

// A report of one telegram, formatted into the output. The receiver takes
// the one it prints from its settings; another report (a CSV, a live feed)
// is a function of this kind beside FormatTelegram.
typedef void (*TelegramFormatter)(Telegram t, ReportOutput* out);

// The receiver's report.
void FormatTelegram(Telegram t, ReportOutput* out);

#endif  // TELEGRAM_TELEGRAM_REPORT_H_
