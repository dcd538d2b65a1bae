#include "probe/text_encoding.h"

namespace qibor {
namespace {

constexpr bool InRange(unsigned char b, unsigned char low, unsigned char high) {
  return b >= low && b <= high;
}

constexpr bool IsContinuation(unsigned char b) { return InRange(b, 0x80, 0xBF); }

// Each well-formed UTF-8 sequence scores its length. A high byte that starts
// no sequence when exactly three bytes are left scores the whole run -1, so
// any valid Shift_JIS reading of it wins.
std::int32_t ScoreUtf8(const unsigned char* bytes, std::uint32_t length) {
  std::int32_t score = 0;
  std::uint32_t i = 0;
  while (i < length) {
    const unsigned char b = bytes[i];
    const std::uint32_t remaining = length - i;
    if (b == 0xA0 || b == 0xFF) {
      i += 1;
    } else if (b <= 0x7F) {
      score += 1;
      i += 1;
    } else if (remaining == 1) {
      i += 1;
    } else if (InRange(b, 0xC0, 0xDF) && IsContinuation(bytes[i + 1])) {
      score += 2;
      i += 2;
    } else if (remaining == 2) {
      i += 1;
    } else if (InRange(b, 0xE0, 0xEF) && IsContinuation(bytes[i + 1]) &&
               IsContinuation(bytes[i + 2])) {
      score += 3;
      i += 3;
    } else if (remaining == 3) {
      return -1;
    } else if (InRange(b, 0xF0, 0xF7) && IsContinuation(bytes[i + 1]) &&
               IsContinuation(bytes[i + 2]) && IsContinuation(bytes[i + 3])) {
      score += 4;
      i += 4;
    } else {
      i += 1;
    }
  }
  return score;
}

// ASCII and half-width katakana score one, double-byte characters two. A lead
// byte without a valid trail byte rules Shift_JIS out (-1).
std::int32_t ScoreShiftJis(const unsigned char* bytes, std::uint32_t length) {
  std::int32_t score = 0;
  std::uint32_t i = 0;
  while (i < length) {
    const unsigned char b = bytes[i];
    if (b == 0xA0 || b == 0xFF) {
      i += 1;
    } else if (b <= 0x7F || InRange(b, 0xA1, 0xDF)) {
      score += 1;
      i += 1;
    } else if (i + 1 == length) {
      i += 1;
    } else {
      const unsigned char t = bytes[i + 1];
      const bool lead = InRange(b, 0x81, 0x9F) || InRange(b, 0xE0, 0xFC);
      const bool trail = InRange(t, 0x40, 0x7E) || InRange(t, 0x80, 0xFC);
      if (!lead || !trail) {
        return -1;
      }
      score += 2;
      i += 2;
    }
  }
  return score;
}

}  // namespace

TextEncodingClass ClassifyTextEncoding(const unsigned char* bytes, std::uint32_t length) {
  if (length >= 2) {
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
      return TextUtf16Le;
    }
    if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
      return TextUtf16Be;
    }
  }
  if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return TextUtf8Bom;
  }
  if (length == 0) {
    return TextAscii;
  }

  bool plain = true;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (bytes[i] == 0x00) {
      return TextZeroByte;
    }
    // 0x7F (DEL) is not treated as plain text.
    if (bytes[i] > 0x7E) {
      plain = false;
    }
  }
  if (plain) {
    return TextAscii;
  }

  // Ties, even two failed scans, go to UTF-8.
  const std::int32_t utf8 = ScoreUtf8(bytes, length);
  const std::int32_t shiftJis = ScoreShiftJis(bytes, length);
  return utf8 >= shiftJis ? TextUtf8 : TextShiftJis;
}

}  // namespace qibor
