#include "probe/probe_lines.h"

#include "floor/byte_search.h"

namespace qibor {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

}  // namespace

std::string_view VerboseLineName(std::string_view line) {
  constexpr int kFieldsBeforeName = 8;
  std::size_t i = 0;
  for (int field = 0; field < kFieldsBeforeName; ++field) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size()) return line;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i == line.size()) return line;
  }
  return line.substr(i + 1);  // line[i] is the single space before the name
}

bool IsToolMessageLine(std::string_view line) {
  const std::size_t colon = FindByte(line, ':');
  if (colon == kNoByte || colon == 0 || colon + 1 >= line.size() || line[colon + 1] != ' ') {
    return false;
  }
  return FindByte(line.substr(0, colon), ' ') == kNoByte;
}

bool IsOpenErrorLine(std::string_view line) {
  const std::size_t colon = FindByte(line, ':');
  if (colon == kNoByte || colon == 0) return false;
  if (FindByte(line.substr(0, colon), ' ') != kNoByte) return false;
  return StartsWithIgnoringCase(line.substr(colon), ": Error opening archive: ");
}

}  // namespace qibor
