// Member paths as a hostile archive may spell them: what the tool would
// write must never leave the folder, and the matcher's keys stay consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "extract/member_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::wstring wide;
  for (const unsigned char c : bytes) wide.push_back(static_cast<wchar_t>(c));

  if (const auto written = qibor::WrittenRelativePath(wide)) {
    // Every step is a plain name: no root, no drive, no dots-only step.
    if (written->empty() || (*written)[0] == L'\\') std::abort();
    std::size_t start = 0;
    for (;;) {
      const std::size_t end = written->find(L'\\', start);
      const std::wstring step = written->substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
      if (step.empty() || step.find_first_not_of(L'.') == std::wstring::npos) std::abort();
      if (step.back() == L'.' || step.back() == L' ' || step.find(L':') != std::wstring::npos) std::abort();
      if (end == std::wstring::npos) break;
      start = end + 1;
    }
  }
  const std::wstring key = qibor::MatchKey(wide);
  if (qibor::MatchKey(key) != key) std::abort();  // a key is its own key
  if (qibor::MatchOf(key, key) != qibor::MatchKind::Same) std::abort();
  // A printed path always selects itself, with or without wildcards.
  for (const auto wildcards : {qibor::Wildcards::Unshown, qibor::Wildcards::EveryUnit}) {
    if (qibor::MatchOf(key, qibor::PatternKey(wide, wildcards)) != qibor::MatchKind::Same) std::abort();
    if (const auto pattern = qibor::MemberPattern(wide, wildcards); pattern && pattern->empty() != wide.empty()) {
      std::abort();
    }
  }
  return 0;
}
