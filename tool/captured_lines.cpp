#include "tool/captured_lines.h"

namespace qibor {

bool TakeCapturedLine(std::string_view& rest, CapturedLine& line) {
  if (rest.empty()) return false;
  const std::size_t feed = rest.find('\n');
  if (feed == std::string_view::npos) {
    line = {rest, false};
    rest = {};
    return true;
  }
  std::size_t end = feed;
  if (end > 0 && rest[end - 1] == '\r') --end;
  line = {rest.substr(0, end), true};
  rest.remove_prefix(feed + 1);
  return true;
}

}  // namespace qibor
