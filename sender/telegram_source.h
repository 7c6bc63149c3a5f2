// Where the telegrams that the sender sends come from: made-up scans
// (scan_source.h) or a recorded capture (capture_source.h). A source hands
// out one telegram at a time; the paced sending (paced_sending.h) decides
// when each goes out.
#ifndef SENDER_TELEGRAM_SOURCE_H_
#define SENDER_TELEGRAM_SOURCE_H_

#include <cstddef>
#include <cstdint>

// A telegram's `due` when the source gives no time of its own.
const int64_t kNotTimed = -1;

struct SourceTelegram {
  const unsigned char* bytes;  // valid until the next telegram is asked for
  size_t size;
  int64_t due;  // nanoseconds after the first telegram, or kNotTimed
  uint32_t source_address;  // where a capture's telegram came from (host order); 0: made up
  uint16_t source_port;
};

class TelegramSource {
 public:
  virtual ~TelegramSource() = default;
  // Fills `*next` with the next telegram; false once there is none.
  virtual bool Next(SourceTelegram* next) = 0;
};

#endif  // SENDER_TELEGRAM_SOURCE_H_
