#pragma once
// Searching the tool's output sixteen bytes at a time. A listing's lines are
// searched several times each, and some C runtimes (Wine's among them) find
// and compare bytes one at a time, which made the searches a fifth of a
// listing's own work. Same answers as std::string_view's find, rfind and ==.
// Pure, no Windows header.
#include <bit>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define QIBOR_BYTE_SEARCH_SSE2 1
#endif

namespace qibor {

inline constexpr std::size_t kNoByte = std::string_view::npos;

namespace byte_search_detail {

#if defined(QIBOR_BYTE_SEARCH_SSE2)
// Bit i set where byte i of the 16 at `at` equals `wanted`.
inline unsigned MatchMask(const char* at, __m128i wanted) {
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, wanted)));
}
#endif

}  // namespace byte_search_detail

// The first `byte` at or after `from`; kNoByte when there is none.
inline std::size_t FindByte(std::string_view text, char byte, std::size_t from = 0) {
  const char* data = text.data();
  const std::size_t size = text.size();
  std::size_t i = from;
#if defined(QIBOR_BYTE_SEARCH_SSE2)
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; i + 16 <= size; i += 16) {
    const unsigned mask = byte_search_detail::MatchMask(data + i, wanted);
    if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask));
  }
#endif
  for (; i < size; ++i) {
    if (data[i] == byte) return i;
  }
  return kNoByte;
}

// The last `byte` of the text; kNoByte when there is none.
inline std::size_t FindLastByte(std::string_view text, char byte) {
  const char* data = text.data();
  std::size_t end = text.size();
#if defined(QIBOR_BYTE_SEARCH_SSE2)
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; end >= 16; end -= 16) {
    const unsigned mask = byte_search_detail::MatchMask(data + end - 16, wanted);
    if (mask != 0) return end - 16 + static_cast<std::size_t>(std::bit_width(mask)) - 1;
  }
#endif
  for (; end > 0; --end) {
    if (data[end - 1] == byte) return end - 1;
  }
  return kNoByte;
}

// Whether every byte is ASCII (below 0x80).
inline bool AllBytesAscii(std::string_view text) {
  std::size_t i = 0;
#if defined(QIBOR_BYTE_SEARCH_SSE2)
  for (; i + 16 <= text.size(); i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    if (_mm_movemask_epi8(chunk) != 0) return false;
  }
#endif
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// The first zero among `count` 16-bit units (a record's text field); `count`
// when there is none.
template <typename Unit>
std::size_t FindZeroUnit(const Unit* units, std::size_t count) {
  static_assert(sizeof(Unit) == 2);
  std::size_t i = 0;
#if defined(QIBOR_BYTE_SEARCH_SSE2)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= count; i += 8) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(chunk, zero)));
    if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask)) / 2;
  }
#endif
  for (; i < count; ++i) {
    if (units[i] == 0) return i;
  }
  return count;
}

// Whether both texts hold the same bytes.
inline bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const std::size_t size = a.size();
  std::size_t i = 0;
#if defined(QIBOR_BYTE_SEARCH_SSE2)
  for (; i + 16 <= size; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data() + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)) != 0xFFFF) return false;
  }
#endif
  for (; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

inline bool EndsWithBytes(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && SameBytes(text.substr(text.size() - end.size()), end);
}

// The first place at or after `from` where `needle` stands; kNoByte when
// there is none. Candidates are the places whose first and last bytes both
// match, sixteen places at a time.
inline std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from = 0) {
  const std::size_t size = text.size();
  const std::size_t length = needle.size();
  if (length == 0) return from <= size ? from : kNoByte;
  if (length == 1) return FindByte(text, needle[0], from);
  if (length > size) return kNoByte;
  const char* data = text.data();
  const std::string_view middle = needle.substr(1, length - 2);
  std::size_t i = from;
#if defined(QIBOR_BYTE_SEARCH_SSE2)
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());
  // Both loads stay inside the text: the last one ends at i + length + 15.
  for (; i + length + 15 <= size; i += 16) {
    unsigned mask = byte_search_detail::MatchMask(data + i, first) &
                    byte_search_detail::MatchMask(data + i + length - 1, last);
    for (; mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
      if (SameBytes(std::string_view(data + at + 1, length - 2), middle)) return at;
    }
  }
#endif
  for (; i + length <= size; ++i) {
    if (data[i] == needle.front() && data[i + length - 1] == needle.back() &&
        SameBytes(std::string_view(data + i + 1, length - 2), middle)) {
      return i;
    }
  }
  return kNoByte;
}

}  // namespace qibor
