// The demo: telegram-sender starts the receiver itself, passes its report
// on to its own standard output, and sends only once the receiver is ready.
#ifndef SENDER_RECEIVER_DEMO_H_
#define SENDER_RECEIVER_DEMO_H_

#include <cstdint>
#include <string>

#include "sender/telegram_source.h"

// Runs `program`, waits for its banner, sends the telegrams of `source` to
// host:port at `rate` (as SendTelegrams does), and waits for the receiver to
// end (stopping it if fewer telegrams were sent than make a whole run). The
// exit status: the receiver's; 0 if the demo stopped it after a short run;
// 1 if the demo could not do its part. `about_source` goes into the line
// that says how the sending went.
int RunReceiverDemo(const char* program, TelegramSource* source, long rate, const char* host, uint16_t port,
                    const std::string& about_source);

#endif  // SENDER_RECEIVER_DEMO_H_
