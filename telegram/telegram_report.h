// The report on one received telegram: its type line, then the report its
// type calls for (type 1: beam count, type 6: block values, others: none).
#ifndef TELEGRAM_TELEGRAM_REPORT_H_
#define TELEGRAM_TELEGRAM_REPORT_H_

#include "telegram/report_output.h"
#include "telegram/telegram.h"

void ReportTelegram(Telegram t, ReportOutput* out);

#endif  // TELEGRAM_TELEGRAM_REPORT_H_
