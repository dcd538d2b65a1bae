#pragma once
// Names the text encoding of a run of bytes, such as an entry name stored in
// an archive without an encoding flag. Pure logic: no Windows header, no
// state, no allocation, so it builds and is tested natively as well.
#include <cstddef>
#include <cstdint>

namespace qibor {

// Values are fixed: hosts and logs see them as plain integers.
enum TextEncodingClass : std::int32_t {
  TextAscii = 0,
  TextUtf8 = 1,
  TextUtf8Bom = 2,
  TextShiftJis = 3,
  TextUtf16Le = 4,
  TextUtf16Be = 5,
  TextZeroByte = 6,
};

// Examines exactly bytes[0..length-1]; no terminator is needed. bytes may be
// null only when length is 0.
TextEncodingClass ClassifyTextEncoding(const unsigned char* bytes, std::uint32_t length);

}  // namespace qibor
