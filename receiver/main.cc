// telegram-receiver: prints a decoded report of each telegram a scanner
// sends to UDP port 9999, and stops after 1000 datagrams.
#include <cstdio>

#include "receiver/library_report.h"
#include "receiver/receive_loop.h"
#include "receiver/waits.h"
#include "receiver/standard_output.h"

namespace {

// The program takes no arguments. One given all the same (--help, say) is
// named once on standard error, so that the user is not left wondering;
// the run goes on as always.
void SayArgumentsIgnored(int argc, char** argv, uint16_t port) {
  if (argc < 2) return;
  char more[32] = "";
  if (argc > 2) snprintf(more, sizeof more, " and %d more", argc - 2);
  fprintf(stderr,
          "telegram-receiver: takes no arguments, so '%s'%s %s ignored; receiving on UDP port %u (%s)\n",
          argv[1], more, argc > 2 ? "are" : "is", static_cast<unsigned>(port), kWhereToReadMore);
}

}  // namespace

int main(int argc, char** argv) {
  ReceiverSettings settings = DefaultReceiverSettings();
  settings.format = FormatWithLibrary;
  if (!SetUpStandardOutput(&settings.line_ends)) {
    fputs("telegram-receiver: standard output is closed, so the report has nowhere to go\n", stderr);
    return 1;
  }
  SayArgumentsIgnored(argc, argv, settings.port);
  const int status = RunReceiver(settings, stdout, stderr);
  if (status == kRunInterrupted) EndAsInterrupted();
  return status;
}
