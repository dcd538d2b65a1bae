// Names as a hostile archive may spell them: whatever the text, a record's
// name is one a host can save a file under, and a plain name stays as it is.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "interface/record_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  const std::wstring plain = qibor::PlainNameFor(text);
  if (!qibor::IsPlainName(plain)) std::abort();
  if (qibor::IsPlainName(text) && plain != text) std::abort();
  // Every level of a record path is plain, "\" after each.
  text.push_back(L'/');
  qibor::RecordChar field[qibor::kRecordTextUnits];
  qibor::CopyFolderToRecordPath(field, text);
  const std::wstring path(field, field + qibor::RecordTextLength(field));
  for (std::size_t start = 0; start < path.size();) {
    const std::size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos || !qibor::IsPlainName(path.substr(start, end - start))) std::abort();
    start = end + 1;
  }
  return 0;
}
