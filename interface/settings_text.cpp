#include "interface/settings_text.h"

#include <climits>

#include "floor/ascii.h"

namespace qibor {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trimmed(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameKey(std::wstring_view a, std::wstring_view b) { return SameIgnoringAsciiCase(a, b); }

std::wstring_view Unquoted(std::wstring_view value) {
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

int ProfileInteger(std::wstring_view text) {
  text = Trimmed(text);
  bool negative = false;
  if (!text.empty() && (text.front() == L'+' || text.front() == L'-')) {
    negative = text.front() == L'-';
    text.remove_prefix(1);
  }
  long long value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') break;
    value = value * 10 + (c - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) return value > static_cast<long long>(INT_MAX) ? INT_MIN : static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

Settings ParseSettingsSection(std::wstring_view section) {
  Settings settings;
  bool seenDir = false, seenMaxMB = false, seenExt = false, seenTar = false, seenCacheMB = false;
  while (!section.empty()) {
    const std::size_t end = section.find(L'\0');
    const std::wstring_view entry = section.substr(0, end);
    section = end == std::wstring_view::npos ? std::wstring_view() : section.substr(end + 1);
    const std::size_t equals = entry.find(L'=');
    if (equals == std::wstring_view::npos) continue;
    const std::wstring_view key = Trimmed(entry.substr(0, equals));
    const std::wstring_view value = Unquoted(Trimmed(entry.substr(equals + 1)));
    if (!seenDir && SameKey(key, L"dir")) {
      settings.toolDir = value;
      settings.toolDirSet = true;
      seenDir = true;
    } else if (!seenMaxMB && SameKey(key, L"maxMB")) {
      settings.maxMB = ProfileInteger(value);
      seenMaxMB = true;
    } else if (!seenExt && SameKey(key, L"ext")) {
      settings.ext = value;
      seenExt = true;
    } else if (!seenTar && SameKey(key, L"tar")) {
      settings.tarExtensions = value;
      seenTar = true;
    } else if (!seenCacheMB && SameKey(key, L"cacheMB")) {
      settings.cacheMB = ProfileInteger(value);
      seenCacheMB = true;
    }
  }
  return settings;
}

}  // namespace qibor
