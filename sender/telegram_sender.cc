// telegram-sender: plays the scanner. Sends scans of telegrams over UDP, each
// a type-1 telegram with the beam range followed by type-6 blocks 0 to N-1,
// back-to-back or at a given rate, or the telegrams of a recorded capture;
// with --receiver, runs the demo.
#include <atomic>
#include <cstdio>
#include <string>

#include "record/run_control.h"
#include "sender/capture_source.h"
#include "sender/demo_platform.h"
#include "sender/paced_sending.h"
#include "sender/receiver_demo.h"
#include "sender/scan_source.h"
#include "sender/sender_options.h"
#include "net/udp_target.h"

int main(int argc, char** argv) {
  SenderOptions options;
  std::string error;
  int status = 0;
  if (AnswerCommandLine(ParseSenderOptions(argc, argv, &options, &error), "telegram-sender", SenderUsage, error,
                        &status)) {
    return status;
  }
  const char* host = options.host.c_str();
  const uint16_t port = static_cast<uint16_t>(options.port);
  // Made-up scans, or a capture, read and checked whole before anything is
  // sent.
  ScanSource scans(options.plan);
  CaptureSource capture;
  TelegramSource* source = &scans;
  std::string about_source;
  if (!options.replay.empty()) {
    ReplayPlan plan;
    plan.max_gap = static_cast<int64_t>(options.max_gap) * 1000000000;
    plan.keep = options.sources;
    plan.speed = options.speed;
    plan.loops = options.loops;
    if (!capture.Open(options.replay, static_cast<uint16_t>(options.replay_port), plan, &error)) {
      fprintf(stderr, "telegram-sender: %s\n", error.c_str());
      return 2;
    }
    for (const std::string& note : capture.notes()) fprintf(stderr, "telegram-sender: %s\n", note.c_str());
    source = &capture;
    about_source = capture.DescribeSkipped();
  }
  if (!options.receiver.empty()) {
    status = RunReceiverDemo(options.receiver.c_str(), source, options.rate, host, port, about_source);
    if (options.keep_window) WaitForKeyIfWindowCloses();
    return status == 0 && capture.changed() ? 1 : status;
  }

  UdpTarget target;
  if (!target.Open(host, port, &error)) {
    fprintf(stderr, "telegram-sender: %s\n", error.c_str());
    return 1;
  }
  // Several scanners in a capture: each sent from a socket of its own.
  if (capture.senders() > 1) target.KeepSendersApart();
  // A replay, which may loop without end, stops at Ctrl-C with its summary.
  RunControl control;
  const std::atomic<bool>* stop = nullptr;
  if (!options.replay.empty() && control.Start(nullptr) == 0) stop = control.stop_flag();
  SendTally tally = {};
  std::string failure;
  SendTelegrams(source, options.rate, target, stop, &tally, &failure);
  if (stop != nullptr && stop->load()) fprintf(stderr, "telegram-sender: stopped\n");
  // Said once sent: the passes a loop made.
  if (!options.replay.empty()) about_source = capture.DescribeSkipped();
  status = SayHowSendingWent(tally, failure, host, port, about_source);
  // A capture that changed while it was replayed was not replayed whole.
  return status == 0 && capture.changed() ? 1 : status;
}
