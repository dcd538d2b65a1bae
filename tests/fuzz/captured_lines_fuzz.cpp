// Splits arbitrary output into lines and checks the split against counts any
// caller can make directly.
#include <algorithm>
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
  const std::vector<qibor::CapturedLine> lines = qibor::SplitCapturedLines(output);

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

  // Read in pieces of a size taken from the input, the same lines come out.
  const std::size_t piece = 1 + (size > 0 ? data[0] % 7 : 0);
  qibor::LineReader reader;
  reader.piece = piece;
  std::size_t offset = 0;
  auto readMore = [&](char* into, std::size_t room) {
    const std::size_t n = std::min({room, piece, size - offset});
    std::copy_n(copy.data() + offset, n, into);
    offset += n;
    return n;
  };
  qibor::CapturedLine line;
  std::size_t index = 0;
  while (qibor::ReadCapturedLine(reader, line, readMore)) {
    if (index >= lines.size() || line.text != lines[index].text ||
        line.endedWithLineFeed != lines[index].endedWithLineFeed) {
      std::abort();
    }
    ++index;
  }
  if (index != lines.size()) std::abort();
  return 0;
}
