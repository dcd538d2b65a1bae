// Splits arbitrary output into lines and checks the split against counts any
// caller can make directly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tool/captured_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exactly sized heap copy lets AddressSanitizer flag any read past the end.
  std::vector<char> copy(data, data + size);
  const std::string_view output(copy.data(), copy.size());
  std::vector<qibor::CapturedLine> lines;
  std::string_view rest = output;
  qibor::CapturedLine line;
  while (qibor::TakeCapturedLine(rest, line)) lines.push_back(line);

  std::size_t feeds = 0;
  for (const char c : copy) feeds += c == '\n' ? 1 : 0;
  const bool openLast = size > 0 && copy.back() != '\n';
  if (lines.size() != feeds + (openLast ? 1 : 0)) std::abort();

  const char* begin = copy.data();
  const char* end = copy.data() + copy.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view text = lines[i].text;
    if (!text.empty() && (text.data() < begin || text.data() + text.size() > end)) std::abort();
    if (text.find('\n') != std::string_view::npos) std::abort();
    if (!lines[i].endedWithLineFeed && i + 1 != lines.size()) std::abort();
  }

  return 0;
}
