#include "listing/member_size.h"

#include <limits>

namespace qibor {
namespace {

constexpr std::size_t npos = std::string_view::npos;

void CutAt(std::string_view& text, std::size_t index) {
  if (index != npos) text = text.substr(0, index);
}

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

}  // namespace

std::int64_t ParseMemberSize(std::string_view verboseLine, std::string_view plainLine) {
  std::string_view text = verboseLine;
  if (!plainLine.empty()) CutAt(text, text.rfind(plainLine));  // the member path
  CutAt(text, text.rfind(' '));                                 // the space before it
  // Recent members carry a time ("Dec 09 04:48"), older ones a year after two
  // spaces ("Jan 01  2024").
  const std::size_t lastSpace = text.rfind(' ');
  if (lastSpace != npos && text.substr(lastSpace + 1).find(':') != npos) {
    CutAt(text, lastSpace);
  } else {
    CutAt(text, text.rfind("  "));
  }
  CutAt(text, text.rfind(' '));  // the day
  CutAt(text, text.rfind(' '));  // the month
  const std::size_t sizeStart = text.rfind(' ');
  return ToInteger(sizeStart == npos ? text : text.substr(sizeStart));
}

std::int64_t SizeLimitFromMaxMB(int maxMB) {
  if (maxMB <= 0) return 0;
  return static_cast<std::int64_t>(maxMB) << 20;
}

}  // namespace qibor
