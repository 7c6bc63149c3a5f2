#include "receiver/library_report.h"

#include "tgr/tgr.h"

void FormatWithLibrary(Telegram t, ReportOutput* out) {
  const int line_ends = out->line_ends() == kLineEndsCrlf ? TGR_LINE_ENDS_CRLF : TGR_LINE_ENDS_AS_WRITTEN;
  // Room in which the library formats the report once, straight into the
  // output's buffer (which is larger than any such room).
  size_t room = 0;
  char* at = out->Room(tgr_report_bound(t.bytes, t.received), &room);
  size_t length = 0;
  if (tgr_report(t.bytes, t.received, line_ends, at, room, &length) == TGR_OK) out->Commit(length);
}
