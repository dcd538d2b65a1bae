// Checks that the classifier stays inside the bytes it is given and that its
// answers agree with facts any caller can check directly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "probe/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t maxLength = std::numeric_limits<std::uint32_t>::max();
  const std::size_t used = size < maxLength ? size : maxLength;
  // An exactly sized heap copy lets AddressSanitizer flag any read past the run.
  std::vector<unsigned char> copy(data, data + used);
  const unsigned char* bytes = copy.empty() ? nullptr : copy.data();

  const qibor::TextEncodingClass result =
      qibor::ClassifyTextEncoding(bytes, static_cast<std::uint32_t>(used));
  if (result < qibor::TextAscii || result > qibor::TextZeroByte) {
    std::abort();
  }

  bool hasZero = false;
  bool plain = true;
  for (const unsigned char b : copy) {
    hasZero = hasZero || b == 0x00;
    plain = plain && b <= 0x7E;
  }
  if (used == 0 && result != qibor::TextAscii) {
    std::abort();
  }
  // Plain bytes cannot start a signature, so nothing comes before this rule.
  if (used > 0 && plain && !hasZero && result != qibor::TextAscii) {
    std::abort();
  }
  if (result == qibor::TextZeroByte && !hasZero) {
    std::abort();
  }
  return 0;
}
