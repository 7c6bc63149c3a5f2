// The pcapng blocks and options the capture reader reads and the capture
// writer writes, stated once for both.
#ifndef CAPTURE_PCAPNG_FORMAT_H_
#define CAPTURE_PCAPNG_FORMAT_H_

#include <cstddef>
#include <cstdint>

// Block types.
const uint32_t kSectionHeader = 0x0A0D0D0A;
const uint32_t kInterfaceDescription = 1;
const uint32_t kObsoletePacket = 2;
const uint32_t kSimplePacket = 3;
const uint32_t kEnhancedPacket = 6;

// The section header's byte-order magic, as the writer's order writes it.
const uint32_t kByteOrderMagic = 0x1A2B3C4D;

// Every block: its type and length, its body, the length again.
const size_t kBlockHeader = 8;
const size_t kBlockTrailer = 4;
// A section header with no options.
const size_t kSmallestSection = 28;

// Options.
const uint16_t kEndOfOptions = 0;
const uint16_t kSectionUserApplication = 4;  // shb_userappl
const uint16_t kTimestampResolution = 9;     // if_tsresol: a power of ten (top bit clear) or of two

#endif  // CAPTURE_PCAPNG_FORMAT_H_
