// Where the telegrams that the sender sends come from: made-up scans today,
// a recorded capture next. A source hands out one telegram at a time; the
// paced sending (paced_sending.h) decides when each goes out.
#ifndef SENDER_TELEGRAM_SOURCE_H_
#define SENDER_TELEGRAM_SOURCE_H_

#include <cstddef>
#include <cstdint>

// A telegram's `due` when the source gives no time of its own.
const int64_t kNotTimed = -1;

struct SourceTelegram {
  const unsigned char* bytes;  // valid until the next call of the source
  size_t size;
  int64_t due;  // nanoseconds after the first telegram, or kNotTimed
};

// Fills `*next` with the next telegram of `state`; false once there is none.
typedef bool (*NextTelegram)(void* state, SourceTelegram* next);

struct TelegramSource {
  NextTelegram next;
  void* state;
};

#endif  // SENDER_TELEGRAM_SOURCE_H_
