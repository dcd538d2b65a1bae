#pragma once
// The "UserSetting" section of qibor.ini as text, taken apart the way the
// profile calls read single keys. Pure, no Windows header.
#include <string>
#include <string_view>

namespace qibor {

inline constexpr wchar_t kDefaultToolDir[] = L"C:\\Windows\\System32";
// The 64-bit System32 as a 32-bit process names it.
inline constexpr wchar_t kNativeToolDir[] = L"C:\\Windows\\Sysnative";
inline constexpr int kDefaultMaxMB = 64;
inline constexpr wchar_t kDefaultExt[] = L"*.7z;*.rar";
inline constexpr wchar_t kDefaultTarExtensions[] = L"*.tar,*.tgz,*.taz";
// A 32-bit host has 2 GiB of address space: leave it room.
inline constexpr int kDefaultCacheMB = sizeof(void*) == 4 ? 64 : 256;

// The settings of one request.
struct Settings {
  std::wstring toolDir = kDefaultToolDir;
  bool toolDirSet = false;  // `dir` was given: used as written
  int maxMB = kDefaultMaxMB;
  std::wstring ext = kDefaultExt;
  std::wstring tarExtensions = kDefaultTarExtensions;
  int cacheMB = kDefaultCacheMB;  // member bytes read ahead and kept; 0: no read-ahead
};

// From a section's "key=value" entries, each ended by a zero unit: keys in
// any letter case, the first of a key counts, spaces around key and value
// dropped, one pair of enclosing quotes dropped; a missing key keeps its
// default, an empty value is empty.
Settings ParseSettingsSection(std::wstring_view section);

// A profile integer: spaces, a sign, digits; no digits is 0; clamped to int.
int ProfileInteger(std::wstring_view text);

}  // namespace qibor
