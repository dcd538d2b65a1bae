// Member paths as a hostile archive may spell them: what the tool would
// write must never leave the folder, and the matcher's keys stay consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "extract/member_path.h"

namespace {

// How the tool drops leading levels from the name it holds, on Windows: each
// "/" or "\\" byte ends one, then any run of them is skipped; nothing is
// written for a name too short.
std::optional<std::string_view> ToolStrip(std::string_view name, unsigned levels) {
  std::size_t at = 0;
  while (levels > 0) {
    if (at >= name.size()) return std::nullopt;
    const char c = name[at++];
    if (c == '/' || c == '\\') --levels;
  }
  while (at < name.size() && (name[at] == '/' || name[at] == '\\')) ++at;
  if (at >= name.size()) return std::nullopt;
  return name.substr(at);
}

// A member written at the top must be written by the tool under exactly the
// name qibor expects there: what follows the path's last "/".
void CheckTopLevelWrite(const std::string& bytes, const std::wstring& printed) {
  const auto written = qibor::WrittenRelativePath(printed);
  if (!written) return;
  const auto top = qibor::TopLevelWriteOf(bytes, printed, *written);
  if (!top) return;
  const auto stripped = ToolStrip(bytes, top->strippedLevels);
  if (!stripped || *stripped != std::string_view(bytes).substr(bytes.rfind('/') + 1)) std::abort();
  if (top->writtenName.empty() || top->writtenName.find(L'\\') != std::wstring::npos) std::abort();
  if (written->size() < top->writtenName.size() ||
      written->compare(written->size() - top->writtenName.size(), std::wstring::npos, top->writtenName) != 0) {
    std::abort();
  }
}

}  // namespace

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
  CheckTopLevelWrite(bytes, wide);
  // The same bytes as a double-byte code page may print them, each 5C byte
  // the second half of a character ("ソ" is 83 5C in code page 932).
  std::wstring doubleByte = wide;
  for (wchar_t& c : doubleByte) c = c == L'\\' ? L'\u30BD' : c;
  CheckTopLevelWrite(bytes, doubleByte);

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
