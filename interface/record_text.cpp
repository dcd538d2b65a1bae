#include "interface/record_text.h"

#include <algorithm>
#include <cstdint>

#include "floor/ascii.h"

namespace qibor {
namespace {

bool IsForbiddenInNames(wchar_t c) {
  return c < 0x20 || c == L'\\' || c == L'/' || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' ||
         c == L'>' || c == L'|';
}

// CON, NUL, COM1 and the like name devices in every folder, with or without
// an extension ("con.txt", "nul .png").
bool IsDeviceName(std::wstring_view name) {
  std::wstring_view stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  for (const std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (SameIgnoringAsciiCase<wchar_t>(stem, device)) return true;
  }
  if (stem.size() != 4) return false;
  const std::wstring_view prefix = stem.substr(0, 3);
  if (!SameIgnoringAsciiCase<wchar_t>(prefix, L"COM") && !SameIgnoringAsciiCase<wchar_t>(prefix, L"LPT")) return false;
  const wchar_t digit = stem[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

bool IsTrailingDotOrSpace(wchar_t c) { return c == L'.' || c == L' '; }

}  // namespace

bool IsPlainName(std::wstring_view name) {
  if (name.empty() || name.find_first_not_of(L'.') == std::wstring_view::npos) return false;
  if (IsTrailingDotOrSpace(name.back())) return false;
  for (const wchar_t c : name) {
    if (IsForbiddenInNames(c)) return false;
  }
  return !IsDeviceName(name);
}

std::wstring PlainNameFor(std::wstring_view text) {
  if (text.find_first_not_of(L'.') == std::wstring_view::npos) return L"_";
  std::wstring name(text);
  for (wchar_t& c : name) {
    if (IsForbiddenInNames(c)) c = L'_';
  }
  for (auto last = name.rbegin(); last != name.rend() && IsTrailingDotOrSpace(*last); ++last) *last = L'_';
  if (IsDeviceName(name)) name.insert(0, 1, L'_');
  return name;
}

std::size_t SurrogateSafeLength(std::wstring_view text, std::size_t maxUnits) {
  std::size_t count = std::min(text.size(), maxUnits);
  if (count < text.size() && count > 0) {
    const auto last = static_cast<std::uint32_t>(text[count - 1]);
    if (last >= 0xD800 && last <= 0xDBFF) --count;
  }
  return count;
}

void CopyToRecordText(RecordChar (&field)[kRecordTextUnits], std::wstring_view text) {
  const std::size_t count = SurrogateSafeLength(text, kRecordTextUnits - 1);
  for (std::size_t i = 0; i < count; ++i) field[i] = static_cast<RecordChar>(text[i]);
  std::fill(field + count, std::end(field), RecordChar{0});
}

void CopyFolderToRecordPath(RecordChar (&field)[kRecordTextUnits], std::wstring_view folder) {
  std::size_t used = 0;
  for (std::size_t start = 0; start < folder.size();) {
    std::size_t end = start;
    while (end < folder.size() && folder[end] != L'/') ++end;
    const std::wstring_view level = folder.substr(start, end - start);
    start = end + 1;
    if (level.empty() || level == L".") continue;
    const std::wstring plain = PlainNameFor(level);
    // A level that does not fit ends the path: what follows would not be
    // this member's folder any more.
    if (used + plain.size() + 1 > kRecordTextUnits - 1) break;
    for (const wchar_t unit : plain) field[used++] = static_cast<RecordChar>(unit);
    field[used++] = RecordChar{u'\\'};
  }
  std::fill(field + used, std::end(field), RecordChar{0});
}

std::vector<std::size_t> RecordPathCuts(std::wstring_view path) {
  std::vector<std::size_t> cuts;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == L'\\') cuts.push_back(i + 1);
  }
  return cuts;
}

std::size_t RecordTextLength(const RecordChar (&field)[kRecordTextUnits]) {
  const RecordChar* end = std::find(std::begin(field), std::end(field), RecordChar{0});
  return static_cast<std::size_t>(end - std::begin(field));
}

}  // namespace qibor
