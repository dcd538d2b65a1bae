// Feeds arbitrary verbose/plain line pairs to the size parser, mostly for the
// sanitizers: every cut and the number conversion must stay inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "listing/member_size.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Input is "verbose line NUL plain line"; without a NUL all of it is verbose.
  std::string verbose;
  std::string plain;
  std::size_t i = 0;
  for (; i < size && data[i] != 0; ++i) verbose.push_back(static_cast<char>(data[i]));
  for (++i; i < size; ++i) plain.push_back(static_cast<char>(data[i]));

  const std::int64_t first = qibor::ParseMemberSize(verbose, plain);
  const std::int64_t second = qibor::ParseMemberSize(verbose, plain);
  if (first != second) std::abort();

  // The size is read from the verbose line's digits and signs only.
  bool hasDigit = false;
  bool hasMinus = false;
  for (const char c : verbose) {
    hasDigit = hasDigit || (c >= '0' && c <= '9');
    hasMinus = hasMinus || c == '-';
  }
  if (!hasDigit && first != 0) std::abort();
  if (!hasMinus && first < 0) std::abort();
  return 0;
}
