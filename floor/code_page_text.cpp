#include "floor/code_page_text.h"

#include <climits>

namespace qibor {

std::wstring DecodeText(std::string_view bytes, UINT codePage) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (units <= 0) return {};
  std::wstring text(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), units);
  return text;
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
