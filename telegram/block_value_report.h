// The report on a type-6 telegram: its payload size, scan number and block
// number and, for blocks 0 and 1, every one of its 16-bit block values.
#ifndef TELEGRAM_BLOCK_VALUE_REPORT_H_
#define TELEGRAM_BLOCK_VALUE_REPORT_H_

#include "telegram/report_output.h"
#include "telegram/telegram.h"

// "TotalSize: <TotalSize - 20>\t ScanNo:<ScanNo>\t BlockNo:<BlockNo>\r\n",
// then for blocks 0 and 1 an empty line and each value followed by a tab,
// with no line end after the last one.
void FormatBlockValues(Telegram t, ReportOutput* out);

#endif  // TELEGRAM_BLOCK_VALUE_REPORT_H_
