// Feeds arbitrary verbose/plain line pairs to the size parser, mostly for the
// sanitizers: every cut and the number conversion must stay inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "listing/member_size.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Input is "verbose line NUL plain line"; without a NUL all of it is verbose.
  std::wstring verbose;
  std::wstring plain;
  std::size_t i = 0;
  for (; i < size && data[i] != 0; ++i) verbose.push_back(static_cast<wchar_t>(data[i]));
  for (++i; i < size; ++i) plain.push_back(static_cast<wchar_t>(data[i]));

  const std::int64_t first = qibor::ParseMemberSize(verbose, plain);
  const std::int64_t second = qibor::ParseMemberSize(verbose, plain);
  if (first != second) std::abort();

  // The size is read from the verbose line's digits and signs only.
  bool hasDigit = false;
  bool hasMinus = false;
  for (const wchar_t c : verbose) {
    hasDigit = hasDigit || (c >= L'0' && c <= L'9');
    hasMinus = hasMinus || c == L'-';
  }
  if (!hasDigit && first != 0) std::abort();
  if (!hasMinus && first < 0) std::abort();
  return 0;
}
