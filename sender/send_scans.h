// The sending loop of telegram-sender: scans of telegrams, each a type-1
// telegram with the beam range followed by type-6 blocks 0 to N-1,
// back-to-back or at a steady rate.
#ifndef SENDER_SEND_SCANS_H_
#define SENDER_SEND_SCANS_H_

#include <atomic>
#include <cstdint>

#include "sender/udp_send.h"

struct ScanPlan {
  long scans;        // scans to send, numbered from 1
  long blocks;       // type-6 blocks per scan, numbered from 0
  long size;         // bytes of each type-6 telegram
  bool beam_range;   // a type-1 telegram before each scan's blocks
  long rate;         // telegrams per second; 0 sends back-to-back
  bool same_values;  // every scan's blocks carry the values of scan 1
};

struct SendTally {
  long sent;
  unsigned long long bytes;
  double seconds;
};

// Sends the plan to `target`, stopping early once `stop` (if given) is set.
// 0, or the error code of the send that failed (telegram tally->sent + 1).
int SendScans(const ScanPlan& plan, const UdpTarget& target, const std::atomic<bool>* stop, SendTally* tally);

// Says on standard error how SendScans went: which telegram failed and why,
// or how many were sent. 0 if every send went through, 1 if not.
int SayHowSendingWent(const SendTally& tally, int failure, const char* host, uint16_t port);

#endif  // SENDER_SEND_SCANS_H_
