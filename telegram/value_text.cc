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

// The bits set, added up in place: the compiler's own count is a call
// where the target has no instruction for it.
size_t CountBits64(uint64_t word) {
  word -= (word >> 1) & 0x5555555555555555ULL;
  word = (word & 0x3333333333333333ULL) + ((word >> 2) & 0x3333333333333333ULL);
  word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<size_t>((word * 0x0101010101010101ULL) >> 56);
}

// Whether the five digits at `digits` read above 65535: their bytes as one
// number, the first the highest, against those of "65535".
bool FiveDigitsAbove65535(const char* digits) {
  const uint64_t number = uint64_t{static_cast<unsigned char>(digits[0])} << 32 |
                          uint64_t{static_cast<unsigned char>(digits[1])} << 24 |
                          uint64_t{static_cast<unsigned char>(digits[2])} << 16 |
                          uint64_t{static_cast<unsigned char>(digits[3])} << 8 |
                          uint64_t{static_cast<unsigned char>(digits[4])};
  return number > 0x3635353335ULL;
}

// Which of 64 bytes are digits or tabs, and which are tabs: a bit each,
// the first byte's the lowest.
struct ByteClasses {
  uint64_t sound;
  uint64_t tab;
};

// Which of 64 bytes (and the one after them) begin a value above 65535
// if they begin a five-digit one: 7 to 9, or 6 and then 6 to 9; and which
// begin one that may be: 6 and then 5.
struct LeadMasks {
  uint64_t big;
  uint64_t near;
};

#ifdef TELEGRAM_VALUE_TEXT_SSE2

ByteClasses Classify64(const char* bytes) {
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i tab = _mm_set1_epi8(kTab);
  ByteClasses classes = {0, 0};
  for (size_t k = 0; k < 4; ++k) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
    const __m128i from_zero = _mm_sub_epi8(chunk, zero);
    const __m128i is_tab = _mm_cmpeq_epi8(chunk, tab);
    const __m128i sound = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(from_zero, nine), from_zero), is_tab);
    classes.sound |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(sound))) << (16 * k);
    classes.tab |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(is_tab))) << (16 * k);
  }
  return classes;
}

LeadMasks Lead64(const char* bytes) {
  const __m128i five = _mm_set1_epi8('5');
  const __m128i six = _mm_set1_epi8('6');
  LeadMasks lead = {0, 0};
  for (size_t k = 0; k < 4; ++k) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k + 1));
    const __m128i first_six = _mm_cmpeq_epi8(first, six);
    const __m128i big = _mm_or_si128(_mm_cmpgt_epi8(first, six), _mm_and_si128(first_six, _mm_cmpgt_epi8(second, five)));
    const __m128i near = _mm_and_si128(first_six, _mm_cmpeq_epi8(second, five));
    lead.big |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(big))) << (16 * k);
    lead.near |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(near))) << (16 * k);
  }
  return lead;
}

#else

// The high bit of each of eight bytes, gathered into eight bits.
uint64_t HighBits(uint64_t flags) { return ((flags & 0x8080808080808080ULL) * 0x0002040810204081ULL) >> 56; }

// The high bit set in each byte of `word` that is 0.
uint64_t ZeroBytes(uint64_t word) {
  return ~(((word & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | word) & 0x8080808080808080ULL;
}

uint64_t Word(const char* bytes) {
  uint64_t word = 0;
  memcpy(&word, bytes, sizeof word);
  return LittleEndian64(word);
}

// Eight bytes at a time, judged together: a byte's high bit set in a
// flag word where it is of a class, then gathered. Adding 0x80 - c to a
// byte's low seven bits sets its high bit if they are c or more.
ByteClasses Classify64(const char* bytes) {
  ByteClasses classes = {0, 0};
  for (size_t k = 0; k < 8; ++k) {
    const uint64_t word = Word(bytes + 8 * k);
    const uint64_t low = word & 0x7F7F7F7F7F7F7F7FULL;
    const uint64_t digit = (low + 0x5050505050505050ULL) & ~(low + 0x4646464646464646ULL) & ~word;
    const uint64_t tab = ZeroBytes(word ^ 0x0909090909090909ULL);
    classes.sound |= HighBits(digit | tab) << (8 * k);
    classes.tab |= HighBits(tab) << (8 * k);
  }
  return classes;
}

LeadMasks Lead64(const char* bytes) {
  LeadMasks lead = {0, 0};
  for (size_t k = 0; k < 8; ++k) {
    const uint64_t first = Word(bytes + 8 * k);
    const uint64_t second = Word(bytes + 8 * k + 1);
    const uint64_t first_low = first & 0x7F7F7F7F7F7F7F7FULL;
    const uint64_t second_low = second & 0x7F7F7F7F7F7F7F7FULL;
    const uint64_t first_six = ZeroBytes(first ^ 0x3636363636363636ULL);
    const uint64_t first_above_six = (first_low + 0x4949494949494949ULL) & ~first;
    const uint64_t second_above_five = (second_low + 0x4A4A4A4A4A4A4A4AULL) & ~second;
    lead.big |= HighBits(first_above_six | (first_six & second_above_five)) << (8 * k);
    lead.near |= HighBits(first_six & ZeroBytes(second ^ 0x3535353535353535ULL)) << (8 * k);
  }
  return lead;
}

#endif

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
  // Of the 64 bytes before, for the values that began there: which are
  // tabs, digits, two digits and five digits in a row (by their last); at
  // the start, as if after a tab.
  uint64_t tabs_before = uint64_t{1} << 63;
  uint64_t digits_before = 0;
  uint64_t twos_before = 0;
  uint64_t fives_before = 0;
  // And which begin a value above 65535, if they were needed (at the
  // start, none do).
  LeadMasks lead_before = {0, 0};
  bool lead_known = true;
  // The last bytes, padded with bytes that are no digit nor tab: a block is
  // read with the byte after it.
  char tail[80];
  for (size_t at = 0; at < size; at += 64) {
    const char* bytes = text + at;
    if (size - at <= 64) {
      memcpy(tail, bytes, size - at);
      memset(tail + (size - at), 0, sizeof tail - (size - at));
      bytes = tail;
    }
    const ByteClasses now = Classify64(bytes);
    // Bit i of these: byte i - k is of the class, reaching back into the
    // bytes before.
    const auto back = [](uint64_t mine, uint64_t earlier, int k) { return mine << k | earlier >> (64 - k); };
    // Among sound bytes, digits are those that are no tab; from the first
    // byte that is not sound on, nothing counts.
    const uint64_t digits = ~now.tab;
    const uint64_t twos = digits & back(digits, digits_before, 1);
    const uint64_t fives = twos & back(twos, twos_before, 2) & back(digits, digits_before, 4);
    uint64_t bad = ~now.sound                                   // no digit nor tab
                   | (now.tab & back(now.tab, tabs_before, 1))  // a tab with no digit before it
                   | (digits & back(fives, fives_before, 1));    // a sixth digit
    // The tab after five digits ends a value of 10000 and more: above 65535
    // if it begins with 7 to 9, or with 66 to 69, or with 65 and goes on
    // above "65535" (rare enough to be looked at one by one).
    const uint64_t five_tabs = now.tab & back(fives, fives_before, 1);
    if (five_tabs != 0) {
      const LeadMasks lead = Lead64(bytes);
      // Those of the bytes before, had they not been needed.
      if (!lead_known && (five_tabs & 0x1F) != 0) lead_before = Lead64(text + at - 64);
      bad |= five_tabs & back(lead.big, lead_before.big, 5);
      for (uint64_t near = five_tabs & back(lead.near, lead_before.near, 5); near != 0; near &= near - 1) {
        const int tab_at = CountTrailingZeros(near);
        bad |= static_cast<uint64_t>(FiveDigitsAbove65535(text + at + static_cast<size_t>(tab_at) - 5)) << tab_at;
      }
      lead_before = lead;
      lead_known = true;
    } else {
      lead_known = false;
    }
    // Only the bytes up to the last tab wanted count.
    const size_t tabs_here = CountBits64(now.tab);
    const bool last = *tabs + tabs_here >= most_tabs;
    int last_tab = 63;
    if (last) {
      uint64_t t = now.tab;
      for (size_t k = *tabs + 1; k < most_tabs; ++k) t &= t - 1;
      last_tab = CountTrailingZeros(t);
      if (last_tab < 63) bad &= (uint64_t{2} << last_tab) - 1;
    }
    if (bad != 0) {
      const int first_bad = CountTrailingZeros(bad);
      *tabs += CountBits64(now.tab & ((uint64_t{1} << first_bad) - 1));
      // Padding reached: the bytes end in a value (or after a tab) whose
      // digits so far are sound.
      if (at + static_cast<size_t>(first_bad) >= size) return size;
      // The run ends where the value at fault begins.
      size_t end = at + static_cast<size_t>(first_bad);
      while (end > 0 && text[end - 1] != kTab) --end;
      return end;
    }
    if (last) {
      *tabs = most_tabs;
      return at + static_cast<size_t>(last_tab) + 1;
    }
    *tabs += tabs_here;
    tabs_before = now.tab;
    digits_before = digits;
    twos_before = twos;
    fives_before = fives;
  }
  return size;
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
