#include "interface/plugin_info.h"

#include <algorithm>

#include "interface/record_text.h"

namespace qibor {

std::wstring ReplaceAll(std::wstring text, std::wstring_view needle, std::wstring_view replacement) {
  if (needle.empty()) return text;
  std::size_t at = text.find(needle);
  while (at != std::wstring::npos) {
    text.replace(at, needle.size(), replacement);
    at = text.find(needle, at + replacement.size());
  }
  return text;
}

bool PluginInfoText(int index, const Settings& settings, std::wstring& text) {
  switch (index) {
    case 0: text = L"00AM"; return true;
    case 1: text = L"qibor by Jov"; return true;
    case 2: text = ReplaceAll(settings.ext, L",", L";"); return true;
    case 3: text = L"tar file"; return true;
    default: return false;
  }
}

int CopyToHostBuffer(std::wstring_view text, wchar_t* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return 0;
  const std::size_t count = SurrogateSafeLength(text, static_cast<std::size_t>(capacity) - 1);
  std::copy_n(text.data(), count, buffer);
  buffer[count] = L'\0';
  return static_cast<int>(count);
}

}  // namespace qibor
