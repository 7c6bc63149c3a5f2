// The sending of telegrams from any source: paced at a steady rate, at the
// times the source gives, or back to back; stopped on request; tallied.
#ifndef SENDER_PACED_SENDING_H_
#define SENDER_PACED_SENDING_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "sender/telegram_source.h"
#include "sender/udp_send.h"

struct SendTally {
  long sent;
  unsigned long long bytes;
  double seconds;
};

// Sends every telegram of `source` to `target`: `rate` telegrams a second if
// it is above 0, else at the times the source gives, else back to back.
// Stops early once `stop` (if given) is set. 0, or the error code of the
// send that failed (telegram tally->sent + 1).
int SendTelegrams(TelegramSource* source, long rate, const UdpTarget& target, const std::atomic<bool>* stop,
                  SendTally* tally);

// Says on standard error how SendTelegrams went: which telegram failed and
// why, or how many were sent, with `about_source` after it (where the
// telegrams came from) unless it is empty. 0 if every send went through,
// 1 if not.
int SayHowSendingWent(const SendTally& tally, int failure, const char* host, uint16_t port,
                      const std::string& about_source);

#endif  // SENDER_PACED_SENDING_H_
