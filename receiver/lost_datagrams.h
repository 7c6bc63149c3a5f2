// Telling the user of datagrams that were lost before the receiver could
// take them: a datagram that finds the socket's receive buffer full is
// dropped by the system, and the report never shows it. The system's count
// of such drops is looked at where the receiver is about to wait (once a
// burst, never once a datagram) and at the end of the run; what it says
// goes to standard error, and a run that lost nothing says nothing.
#ifndef RECEIVER_LOST_DATAGRAMS_H_
#define RECEIVER_LOST_DATAGRAMS_H_

#include <cstdint>
#include <cstdio>

#include "net/socket.h"

struct LossWatch {
  bool counting;         // the system keeps a count here
  DropCountScope scope;  // whose drops it counts
  uint32_t last;         // the count at the last look
  uint64_t said;         // drops already said, since the start
  uint64_t seen;         // drops seen, since the start
  int buffer_bytes;      // the socket's receive buffer, as the system reports it
  int buffer_as_asked;   // the same, as the receiver would have asked for it
  int buffer_request;    // what the receiver asked for
};

// Once the socket is bound: the count to measure from. Where there is
// none, says so once on `err`.
void StartLossWatch(LossWatch* watch, NetSocket sock, int buffer_request, FILE* err);

// Where the receiver is about to wait: one line on `err` if the count has
// risen since the last line, with how many, why, and what to do.
void SayNewLosses(LossWatch* watch, NetSocket sock, FILE* err);

// At the end of the run, whatever ended it: one line with the total, if
// any datagram was lost.
void SayTotalLosses(LossWatch* watch, NetSocket sock, FILE* err);

#endif  // RECEIVER_LOST_DATAGRAMS_H_
