#include "floor/code_page_text.h"

#include <algorithm>
#include <climits>

#include "floor/byte_search.h"

namespace qibor {

std::wstring DecodeText(std::string_view bytes, UINT codePage) {
  std::wstring text;
  DecodeTextInto(bytes, codePage, text);
  return text;
}

void DecodeTextInto(std::string_view bytes, UINT codePage, std::wstring& text, bool asciiAsIs) {
  text.clear();
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return;
  if (asciiAsIs && AllBytesAscii(bytes)) {
    // Widened in place: assigning from the bytes' iterators would build a
    // temporary text first.
    text.resize(bytes.size());
    std::copy(bytes.begin(), bytes.end(), text.begin());
    return;
  }
  const int length = static_cast<int>(bytes.size());
  // A code page makes at most one unit of each byte it reads, so one call
  // mostly does; should one ever make more, they are counted first.
  text.resize(bytes.size());
  int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), length);
  if (units <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (units > 0) {
      text.resize(static_cast<std::size_t>(units));
      units = MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), units);
    }
  }
  text.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
}

bool KeepsAscii(UINT codePage) {
  char ascii[0x7F];
  wchar_t units[0x7F];
  for (int i = 0; i < 0x7F; ++i) ascii[i] = static_cast<char>(i + 1);
  if (MultiByteToWideChar(codePage, 0, ascii, 0x7F, units, 0x7F) != 0x7F) return false;
  for (int i = 0; i < 0x7F; ++i) {
    if (units[i] != static_cast<wchar_t>(i + 1)) return false;
  }
  return true;
}

std::string EncodeText(std::wstring_view text, UINT codePage) {
  if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int units = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(codePage, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string encoded(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), units, encoded.data(), bytes, nullptr, nullptr);
  return encoded;
}

}  // namespace qibor
