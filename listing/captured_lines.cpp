#include "listing/captured_lines.h"

namespace qibor {

std::vector<CapturedLine> SplitCapturedLines(std::string_view output) {
  std::vector<CapturedLine> lines;
  std::size_t start = 0;
  while (start < output.size()) {
    const std::size_t feed = output.find('\n', start);
    if (feed == std::string_view::npos) {
      lines.push_back({output.substr(start), false});
      break;
    }
    std::size_t end = feed;
    if (end > start && output[end - 1] == '\r') --end;
    lines.push_back({output.substr(start, end - start), true});
    start = feed + 1;
  }
  return lines;
}

}  // namespace qibor
