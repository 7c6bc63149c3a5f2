#include "telegram/value_text.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TELEGRAM_VALUE_TEXT_SSE2 1
#endif

namespace {

const char kTab = '\t';

// Eight bytes as read from memory, the first the lowest.
uint64_t LittleEndian64(uint64_t word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return __builtin_bswap64(word);
#else
  return word;
#endif
}

int CountTrailingZeros(uint64_t word) {
#if defined(__GNUC__)
  return __builtin_ctzll(word);
#else
  int count = 0;
  while ((word & 1) == 0) {
    word >>= 1;
    ++count;
  }
  return count;
#endif
}

unsigned CountBits(unsigned mask) {
  unsigned n = 0;
  for (; mask != 0; mask &= mask - 1) ++n;
  return n;
}

// One byte at a time, from `i`: the span's end and its tabs, as below.
size_t SpanBytes(const char* text, size_t i, size_t size, size_t most_tabs, size_t* tabs) {
  for (; i < size; ++i) {
    const char c = text[i];
    if (c == kTab) {
      if (++*tabs == most_tabs) return i + 1;
    } else if (static_cast<unsigned char>(c - '0') > 9) {
      return i;
    }
  }
  return size;
}

}  // namespace

size_t WholeValueAt(const char* text, uint16_t* value) {
  uint64_t word = 0;
  memcpy(&word, text, sizeof word);
  word = LittleEndian64(word);
  // A byte is a digit if its high half is 3 and its low half at most 9.
  const uint64_t high_not_3 = (word & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL;
  const uint64_t low_above_9 = ((word & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL;
  const uint64_t not_digits = high_not_3 | low_above_9;
  if (not_digits == 0) return 0;
  const size_t length = static_cast<size_t>(CountTrailingZeros(not_digits)) / 8;
  if (length == 0 || length > 5 || ((word >> (8 * length)) & 0xFF) != static_cast<unsigned char>(kTab)) return 0;
  // The digits to the top of the word, zeros before them, then eight digits
  // made one number in three steps.
  uint64_t digits = (word - 0x3030303030303030ULL) << (8 * (8 - length));
  digits = digits * 10 + (digits >> 8);
  digits = (((digits & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
            (((digits >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
           32;
  if (digits > 65535) return 0;
  *value = static_cast<uint16_t>(digits);
  return length;
}

size_t ValueTextSpan(const char* text, size_t size, size_t most_tabs, size_t* tabs) {
  *tabs = 0;
  if (most_tabs == 0) return 0;
  size_t i = 0;
#ifdef TELEGRAM_VALUE_TEXT_SSE2
  // Sixteen bytes at a time: which are digits or tabs, and which tabs. The
  // bytes where it stops (the run's end, or its last tab) are found one at
  // a time.
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i tab = _mm_set1_epi8(kTab);
  const __m128i nothing = _mm_setzero_si128();
  // Groups of up to 255 chunks in which the tabs wanted cannot run out:
  // their tabs counted a byte a place, added up once a group.
  for (;;) {
    const size_t chunks = (size - i) / 16 < 255 ? (size - i) / 16 : 255;
    if (chunks == 0 || most_tabs - *tabs <= 16 * chunks) break;
    __m128i counts = nothing;
    size_t k = 0;
    for (; k < chunks; ++k) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 16 * k));
      const __m128i from_zero = _mm_sub_epi8(bytes, zero);
      const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(from_zero, nine), from_zero);
      const __m128i is_tab = _mm_cmpeq_epi8(bytes, tab);
      if (_mm_movemask_epi8(_mm_or_si128(digit, is_tab)) != 0xFFFF) break;
      counts = _mm_sub_epi8(counts, is_tab);
    }
    const __m128i sums = _mm_sad_epu8(counts, nothing);
    *tabs += static_cast<size_t>(_mm_cvtsi128_si32(sums)) + static_cast<size_t>(_mm_extract_epi16(sums, 4));
    i += 16 * k;
    if (k < chunks) break;
  }
  for (; size - i >= 16; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    const __m128i from_zero = _mm_sub_epi8(bytes, zero);
    const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(from_zero, nine), from_zero);
    const __m128i is_tab = _mm_cmpeq_epi8(bytes, tab);
    const unsigned ok = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(digit, is_tab)));
    const unsigned tabs_here = CountBits(static_cast<unsigned>(_mm_movemask_epi8(is_tab)));
    if (ok != 0xFFFF || *tabs + tabs_here >= most_tabs) break;
    *tabs += tabs_here;
  }
#else
  // Eight bytes at a time, judged together: a digit's high half is 3 and
  // its low half at most 9; a tab is a byte that is 9.
  for (; size - i >= 8; i += 8) {
    uint64_t word = 0;
    memcpy(&word, text + i, sizeof word);
    word = LittleEndian64(word);
    const uint64_t high_not_3 = (word & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL;
    const uint64_t low_above_9 = ((word & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL;
    const uint64_t not_tab = word ^ 0x0909090909090909ULL;
    // A byte that is 0 here is a tab: its high bit set in `tab_bytes`.
    const uint64_t tab_bytes =
        ~(((not_tab & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | not_tab) & 0x8080808080808080ULL;
    const uint64_t bad = (high_not_3 | low_above_9) & ~((tab_bytes >> 7) * 0xFF);
    unsigned tabs_here = 0;
    for (uint64_t t = tab_bytes; t != 0; t &= t - 1) ++tabs_here;
    if (bad != 0 || *tabs + tabs_here >= most_tabs) break;
    *tabs += tabs_here;
  }
#endif
  return SpanBytes(text, i, size, most_tabs, tabs);
}

size_t ParseValueText(const char* text, size_t size, uint16_t* out, size_t capacity, size_t* bad, bool* no_room) {
  if (no_room != nullptr) *no_room = false;
  size_t count = 0;
  size_t i = 0;
  // Whole values, eight bytes at a time, while eight remain; the rest, and
  // anything out of the ordinary, a byte at a time.
  while (size - i >= 8 && count < capacity) {
    uint16_t value = 0;
    const size_t length = WholeValueAt(text + i, &value);
    if (length == 0) break;
    out[count++] = value;
    i += length + 1;
  }
  uint32_t value = 0;
  size_t digits = 0;
  size_t start = i;  // of the value being read
  for (; i < size; ++i) {
    const char c = text[i];
    if (c == kTab && digits > 0 && value <= 65535) {
      if (count == capacity) {
        if (no_room != nullptr) *no_room = true;
        *bad = start;
        return count;
      }
      out[count++] = static_cast<uint16_t>(value);
      value = 0;
      digits = 0;
      start = i + 1;
      continue;
    }
    const unsigned digit = static_cast<unsigned char>(c) - static_cast<unsigned>('0');
    if (digit > 9 || ++digits > 5) {
      *bad = start;
      return count;
    }
    value = value * 10 + digit;
  }
  // Digits with no tab after them were cut off: no value. Too large, they
  // are damage all the same.
  *bad = digits > 0 && value > 65535 ? start : size;
  return count;
}
