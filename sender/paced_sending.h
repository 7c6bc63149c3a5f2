// The sending of telegrams from any source: paced at a steady rate, at the
// times the source gives, or back to back; stopped on request; tallied.
#ifndef SENDER_PACED_SENDING_H_
#define SENDER_PACED_SENDING_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "sender/telegram_source.h"
#include "net/udp_target.h"

struct SendTally {
  long sent;
  unsigned long long bytes;
  double seconds;
};

// Sends every telegram of `source` to `target`, each from its sender's
// socket where the target keeps them apart: `rate` telegrams a second if
// it is above 0, else at the times the source gives, else back to back.
// Stops early once `stop` (if given) is set. False, with the cause in
// `*err`, if a send failed (that of telegram tally->sent + 1).
bool SendTelegrams(TelegramSource* source, long rate, UdpTarget& target, const std::atomic<bool>* stop,
                   SendTally* tally, std::string* err);

// Says on standard error how SendTelegrams went: which telegram failed and
// why (`failure`, empty if none did), or how many were sent, with
// `about_source` after it (where the telegrams came from) unless it is
// empty. The exit status: 0 if every send went through, 1 if not.
int SayHowSendingWent(const SendTally& tally, const std::string& failure, const char* host, uint16_t port,
                      const std::string& about_source);

#endif  // SENDER_PACED_SENDING_H_
