// The kernel's own count of the datagrams dropped at a bound UDP port, from
// /proc/net/udp: what any receiver lost (ours, another, or a Windows
// program under Wine), counted alike and apart from what it says itself.
#ifndef TESTS_PORT_DROPS_TEST_UTIL_H_
#define TESTS_PORT_DROPS_TEST_UTIL_H_

#include <cstdint>

// Whether a socket is bound to UDP `port`; its drops column in `*drops`
// (-1 if the row has none).
bool ReadPortDrops(uint16_t port, long* drops);

#endif  // TESTS_PORT_DROPS_TEST_UTIL_H_
