// telegram-receiver: prints a decoded report of each telegram a scanner
// sends to UDP port 9999, and stops after 1000 datagrams.
#include <cstdio>

#include "receiver/datagram_wait.h"
#include "receiver/receive_loop.h"
#include "receiver/standard_output.h"

int main() {
  ReceiverSettings settings = DefaultReceiverSettings();
  if (!SetUpStandardOutput(&settings.line_ends)) {
    fputs("telegram-receiver: standard output is closed, so the report has nowhere to go\n", stderr);
    return 1;
  }
  const int status = RunReceiver(settings, stdout, stderr);
  if (status == kRunInterrupted) EndAsInterrupted();
  return status;
}
