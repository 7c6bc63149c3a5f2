// The kernel's own count of the datagrams dropped at a bound UDP port, from
// Linux's /proc/net/udp: what any receiver lost (ours, another, or a Windows
// program under Wine), counted alike and apart from what it says itself.
// The benchmark's measure, which the end-to-end tests take too.
#ifndef BENCH_PORT_DROPS_H_
#define BENCH_PORT_DROPS_H_

#include <cstdint>

// Whether a socket is bound to UDP `port`; its drops column in `*drops`
// (-1 if the row has none).
bool ReadPortDrops(uint16_t port, long* drops);

#endif  // BENCH_PORT_DROPS_H_
