#include "interface/record_text.h"

#include <algorithm>
#include <cstdint>

#include "floor/byte_search.h"

namespace qibor {

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
    // A level that does not fit ends the path: what follows would not be
    // this member's folder any more.
    if (used + level.size() + 1 > kRecordTextUnits - 1) break;
    for (const wchar_t unit : level) field[used++] = static_cast<RecordChar>(unit);
    field[used++] = RecordChar{u'\\'};
  }
  std::fill(field + used, std::end(field), RecordChar{0});
}

std::vector<std::size_t> RecordPathCuts(std::wstring_view path) {
  std::vector<std::size_t> cuts;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] != L'\\') continue;
    if (i + 1 < path.size() && path[i + 1] == L'\\') {
      ++i;  // a backslash the tool doubled: inside the level
    } else {
      cuts.push_back(i + 1);
    }
  }
  return cuts;
}

std::size_t RecordTextLength(const RecordChar (&field)[kRecordTextUnits]) {
  return FindZeroUnit(field, kRecordTextUnits);
}

}  // namespace qibor
