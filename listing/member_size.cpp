#include "listing/member_size.h"

#include <limits>

namespace qibor {
namespace {

constexpr std::size_t npos = std::wstring_view::npos;

void CutAt(std::wstring_view& text, std::size_t index) {
  if (index != npos) text = text.substr(0, index);
}

bool IsAsciiSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// Signed decimal conversion that clamps instead of overflowing.
std::int64_t ToInteger(std::wstring_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsAsciiSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  constexpr std::uint64_t kMaxMagnitude = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t magnitude = 0;
  bool clamped = false;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - L'0');
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

std::int64_t ParseMemberSize(std::wstring_view verboseLine, std::wstring_view plainLine) {
  std::wstring_view text = verboseLine;
  if (!plainLine.empty()) CutAt(text, text.rfind(plainLine));  // the member path
  CutAt(text, text.rfind(L' '));                                 // the space before it
  // Recent members carry a time ("Dec 09 04:48"), older ones a year after two
  // spaces ("Jan 01  2024").
  const std::size_t lastSpace = text.rfind(L' ');
  if (lastSpace != npos && text.substr(lastSpace + 1).find(L':') != npos) {
    CutAt(text, lastSpace);
  } else {
    CutAt(text, text.rfind(L"  "));
  }
  CutAt(text, text.rfind(L' '));  // the day
  CutAt(text, text.rfind(L' '));  // the month
  const std::size_t sizeStart = text.rfind(L' ');
  return ToInteger(sizeStart == npos ? text : text.substr(sizeStart));
}

std::int64_t SizeLimitFromMaxMB(int maxMB) {
  if (maxMB <= 0) return 0;
  return static_cast<std::int64_t>(maxMB) << 20;
}

}  // namespace qibor
