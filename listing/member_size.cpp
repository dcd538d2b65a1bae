#include "listing/member_size.h"

#include <limits>
#include <string>


namespace qibor {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Signed decimal conversion that clamps instead of overflowing.
std::int64_t ToInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsAsciiSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr std::uint64_t kMaxMagnitude = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t magnitude = 0;
  bool clamped = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (!clamped && magnitude > (kMaxMagnitude + 1 - digit) / 10) clamped = true;
    if (!clamped) magnitude = magnitude * 10 + digit;
  }
  if (negative) {
    if (clamped || magnitude > kMaxMagnitude) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(magnitude);
  }
  if (clamped || magnitude > kMaxMagnitude) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(magnitude);
}

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The last field of the text: what follows its last space, or all of it.
std::string_view LastField(std::string_view text) {
  const std::size_t space = text.rfind(' ');
  return space == npos ? text : text.substr(space + 1);
}

// Cuts the last field off with the spaces before it. A text without a space
// stays as it is.
void DropLastField(std::string_view& text) {
  const std::size_t space = text.rfind(' ');
  if (space == npos) return;
  text = text.substr(0, space);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
}

bool IsTime(std::string_view field) {  // "04:48"
  const std::size_t colon = field.find(':');
  return colon != npos && IsDigits(field.substr(0, colon)) && IsDigits(field.substr(colon + 1));
}

bool IsDay(std::string_view field) { return IsDigits(field) && field.size() <= 2; }

struct SizeField {
  std::string_view text;
  bool wellFormed;  // the date and the size are in a form the tool prints
};

// The tool writes "SIZE DATE NAME". Given the text before the space that
// starts the name, finds the size in front of the date, in every form of it:
//   "Dec 09 04:48"  recent; "Jan 01  2024" with its year; the month in the
//   user's language ("12\x8c\x8e 09 05:16" under code page 932: any bytes
//   but a space), before or after the day;
//   "-- -- ----"    a date the C library cannot convert (newer tools);
//   ""              the same with older tools: the size, a space, the name.
SizeField SizeBeforeDate(std::string_view head) {
  if (!head.empty() && head.back() == ' ') {  // the empty date
    head.remove_suffix(1);
    const std::string_view size = LastField(head);
    return {size, IsDigits(size) && size.size() < head.size()};
  }
  const std::size_t end = head.size();
  std::string_view fields[3];
  bool wellFormed = true;
  for (std::string_view& field : fields) {
    wellFormed = wellFormed && head.find(' ') != npos;
    field = LastField(head);
    DropLastField(head);
  }
  // fields[0] is the time or year, fields[1] and fields[2] the day and month.
  const bool dashes = fields[0] == "----" && fields[1] == "--" && fields[2] == "--";
  const bool yearOrTime = IsTime(fields[0]) || IsDigits(fields[0]);
  const bool dayAndMonth = IsDay(fields[1]) || IsDay(fields[2]);
  const std::string_view size = LastField(head);
  wellFormed = wellFormed && (dashes || (yearOrTime && dayAndMonth)) && IsDigits(size) &&
               size.size() < head.size() && head.size() < end;
  return {size, wellFormed};
}

// The first place where the member's name stands before the given link text
// (" -> " or " link to ") with a date and size in front of it.
bool FindLinkEntry(std::string_view line, std::string_view name, std::string_view link, SizeField& found) {
  // Most lines hold no link text at all: no pattern to make for those.
  if (line.find(link) == npos) return false;
  std::string pattern;
  pattern.reserve(name.size() + link.size() + 1);
  pattern.append(1, ' ').append(name).append(link);
  for (std::size_t at = line.find(pattern); at != npos; at = line.find(pattern, at + 1)) {
    const SizeField size = SizeBeforeDate(line.substr(0, at));
    if (size.wellFormed) {
      found = size;
      return true;
    }
  }
  return false;
}

}  // namespace

std::int64_t ParseMemberSize(std::string_view verboseLine, std::string_view plainLine) {
  const std::string_view line = verboseLine;
  const std::string_view name = plainLine;
  if (name.empty() || line.find(name) == npos) {
    // A line that does not hold the member's name: read in the tool's shape
    // from its end, with the last field taken for the name.
    std::string_view head = line;
    const std::size_t space = head.rfind(' ');
    if (space != npos) head = head.substr(0, space);
    return ToInteger(SizeBeforeDate(head).text);
  }
  // A file's line ends with its name. A link's line goes on after it with
  // " -> TARGET" (symbolic, mode "l...") or " link to TARGET" (hard), and the
  // target may hold anything, the name and a whole date and size included:
  // the name is the first place that has a date and size before it.
  SizeField size{};
  if (line.front() == 'l') return FindLinkEntry(line, name, " -> ", size) ? ToInteger(size.text) : 0;
  if (FindLinkEntry(line, name, " link to ", size)) return ToInteger(size.text);
  if (line.size() > name.size() && line.ends_with(name) && line[line.size() - name.size() - 1] == ' ') {
    return ToInteger(SizeBeforeDate(line.substr(0, line.size() - name.size() - 1)).text);
  }
  return 0;
}

std::int64_t SizeLimitFromMaxMB(int maxMB) {
  if (maxMB <= 0) return 0;
  return static_cast<std::int64_t>(maxMB) << 20;
}

}  // namespace qibor
