// telegram-receiver: prints a decoded report of each telegram a scanner
// sends to UDP port 9999, and stops after 1000 datagrams.
#include <cstdio>

#include "receiver/interrupt.h"
#include "receiver/receive_loop.h"
#include "receiver/standard_output.h"

int main() {
  if (!OpenStandardStreams()) {
    fputs("telegram-receiver: standard output is closed, so the report has nowhere to go\n", stderr);
    return 1;
  }
  ReceiverSettings settings = DefaultReceiverSettings();
  settings.line_ends = PrepareStandardOutput() ? kLineEndsCrlf : kLineEndsAsWritten;
  const int status = RunReceiver(settings, stdout, stderr);
  if (status == kRunInterrupted) EndAsInterrupted();
  return status;
}
