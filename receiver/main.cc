// telegram-receiver: prints a decoded report of each telegram a scanner
// sends to UDP port 9999, and stops after 1000 datagrams.
#include <cstdio>

#include "receiver/receive_loop.h"

int main() { return RunReceiver(DefaultReceiverSettings(), stdout, stderr); }
