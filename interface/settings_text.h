#pragma once
// The "UserSetting" section of qibor.ini as text, taken apart the way the
// profile calls read single keys. Pure, no Windows header.
#include <string>
#include <string_view>

namespace qibor {

inline constexpr wchar_t kDefaultToolDir[] = L"C:\\Windows\\System32";
inline constexpr int kDefaultMaxMB = 64;
inline constexpr wchar_t kDefaultExt[] = L"*.7z;*.rar";
inline constexpr wchar_t kDefaultTarExtensions[] = L"*.tar,*.tgz,*.taz";

// The four settings of one request.
struct Settings {
  std::wstring toolDir = kDefaultToolDir;
  int maxMB = kDefaultMaxMB;
  std::wstring ext = kDefaultExt;
  std::wstring tarExtensions = kDefaultTarExtensions;
};

// From a section's "key=value" entries, each ended by a zero unit: keys in
// any letter case, the first of a key counts, spaces around key and value
// dropped, one pair of enclosing quotes dropped; a missing key keeps its
// default, an empty value is empty.
Settings ParseSettingsSection(std::wstring_view section);

// A profile integer: spaces, a sign, digits; no digits is 0; clamped to int.
int ProfileInteger(std::wstring_view text);

}  // namespace qibor
