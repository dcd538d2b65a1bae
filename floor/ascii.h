#pragma once
// Comparing names whose letter case Windows ignores only for A to Z (device
// names, setting keys). Pure, no Windows header.
#include <cstddef>
#include <string_view>

namespace qibor {

template <typename Char>
constexpr Char LowerAscii(Char c) {
  return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <typename Char>
constexpr bool SameIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace qibor
