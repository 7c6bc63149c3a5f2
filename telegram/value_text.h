// A block's values as the report prints them ("40503\t6120\t..."): found,
// checked and counted fast, without making numbers of them, and made
// numbers of when they are wanted. A reader that passes a run of values on
// as text costs a pass over its bytes; the numbers cost several times that.
#ifndef TELEGRAM_VALUE_TEXT_H_
#define TELEGRAM_VALUE_TEXT_H_

#include <cstddef>
#include <cstdint>

// The value whose digits start at `text` (eight bytes are read), if it is
// one of 1 to 5 digits followed by a tab and at most 65535: its length, or
// 0. The eight bytes are judged together, with no branch for each digit,
// for the lengths of the values in a block vary at random.
size_t WholeValueAt(const char* text, uint16_t* value);

// The run of whole values at the start of `text`, `size` bytes at most:
// each 1 to 5 digits of at most 65535 followed by its tab, and digits that
// reach the end of the bytes (a value that goes on in the next piece); it
// ends after its `most_tabs`-th tab, or where a value at fault (a sixth
// digit, above 65535, no digit before its tab, anything but a digit or a
// tab after its digits) or what is no value begins. Its length, and its
// tabs in `*tabs`. Sixty-four bytes are judged together, as bit masks.
size_t ValueTextSpan(const char* text, size_t size, size_t most_tabs, size_t* tabs);

// The numbers of a run of values text: each of 1 to 5 digits, at most
// 65535, followed by a tab; digits after the last tab (a value the report
// was cut inside) are no value. Into `out`, `capacity` at most. Returns how
// many were made; `*bad` is the byte offset of the first value that is not
// one (too many digits, above 65535) or that finds no room (then
// `*no_room`, if given, is set), or `size` if there is none.
size_t ParseValueText(const char* text, size_t size, uint16_t* out, size_t capacity, size_t* bad,
                      bool* no_room = nullptr);

#endif  // TELEGRAM_VALUE_TEXT_H_
