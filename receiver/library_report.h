// The receiver's report of each telegram, as the library (tgr) gives it:
// the receiver is one of the library's clients.
#ifndef RECEIVER_LIBRARY_REPORT_H_
#define RECEIVER_LIBRARY_REPORT_H_

#include "telegram/report_output.h"
#include "telegram/telegram.h"

// A TelegramFormatter: tgr_report, written in place into the output's
// buffer, with the output's line ends.
void FormatWithLibrary(Telegram t, ReportOutput* out);

#endif  // RECEIVER_LIBRARY_REPORT_H_
