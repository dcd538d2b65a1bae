#include "tool/captured_lines.h"

namespace qibor {

bool TakeCapturedLine(std::string_view& rest, CapturedLine& line) {
  if (rest.empty()) return false;
  TakeCapturedLineEndingAt(rest, FindByte(rest, '\n'), line);
  return true;
}

void TakeCapturedLineEndingAt(std::string_view& rest, std::size_t feed, CapturedLine& line) {
  if (feed == kNoByte) {
    line = {rest, false};
    rest = {};
    return;
  }
  std::size_t end = feed;
  if (end > 0 && rest[end - 1] == '\r') --end;
  line = {rest.substr(0, end), true};
  rest.remove_prefix(feed + 1);
}

std::vector<CapturedLine> SplitCapturedLines(std::string_view output) {
  std::vector<CapturedLine> lines;
  CapturedLine line;
  while (TakeCapturedLine(output, line)) lines.push_back(line);
  return lines;
}

}  // namespace qibor
