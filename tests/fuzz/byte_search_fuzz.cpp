// Searches arbitrary bytes sixteen at a time and checks every answer against
// std::string_view's own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "floor/byte_search.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte splits the rest into a needle and a text; each is an
  // exactly sized heap copy, so AddressSanitizer flags any read past its end.
  const std::size_t needleSize = std::min<std::size_t>(data[0] % 24, size - 1);
  std::vector<char> needleCopy(data + 1, data + 1 + needleSize);
  std::vector<char> textCopy(data + 1 + needleSize, data + size);
  const std::string_view needle(needleCopy.data(), needleCopy.size());
  const std::string_view text(textCopy.data(), textCopy.size());

  const std::size_t from = data[1] % (text.size() + 2);
  if (qibor::FindText(text, needle, from) != text.find(needle, from)) std::abort();
  if (qibor::FindText(text, needle) != text.find(needle)) std::abort();
  const char byte = needle.empty() ? '\n' : needle[0];
  if (qibor::FindByte(text, byte, from) != text.find(byte, from)) std::abort();
  if (qibor::FindLastByte(text, byte) != text.rfind(byte)) std::abort();
  if (qibor::SameBytes(text, needle) != (text == needle)) std::abort();
  if (qibor::EndsWithBytes(text, needle) != text.ends_with(needle)) std::abort();

  bool ascii = true;
  for (const char c : text) {
    const auto value = static_cast<unsigned char>(c);
    ascii = ascii && value < 0x80;
  }
  if (qibor::AllBytesAscii(text) != ascii) std::abort();

  std::vector<char16_t> units(text.size() / 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(text[2 * i]) |
                                     (static_cast<unsigned char>(text[2 * i + 1]) << 8));
  }
  std::size_t zero = 0;
  while (zero < units.size() && units[zero] != 0) ++zero;
  if (qibor::FindZeroUnit(units.data(), units.size()) != zero) std::abort();
  return 0;
}
