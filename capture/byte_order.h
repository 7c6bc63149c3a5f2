// The two byte orders a capture is read in: a capture file's own, which is
// the capturing host's, and the network's, of the IP and UDP headers.
#ifndef CAPTURE_BYTE_ORDER_H_
#define CAPTURE_BYTE_ORDER_H_

#include <cstdint>

inline uint32_t Big16(const unsigned char* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
inline uint32_t Big32(const unsigned char* p) { return Big16(p) << 16 | Big16(p + 2); }
inline uint32_t Little16(const unsigned char* p) { return static_cast<uint32_t>(p[1]) << 8 | p[0]; }
inline uint32_t Little32(const unsigned char* p) { return Little16(p + 2) << 16 | Little16(p); }

#endif  // CAPTURE_BYTE_ORDER_H_
