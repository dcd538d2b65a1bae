#include "extract/member_path.h"

#include "floor/ascii.h"
#include "listing/kept_members.h"

#include <array>

namespace qibor {
namespace {

// CON, NUL, COM1 and the like name devices in every folder, with or without
// an extension ("con.txt", "nul .png").
bool IsDeviceName(std::wstring_view component) {
  std::wstring_view stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  static constexpr std::array<std::wstring_view, 6> kPlain{L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const std::wstring_view device : kPlain) {
    if (SameIgnoringAsciiCase<wchar_t>(stem, device)) return true;
  }
  if (stem.size() != 4) return false;
  const std::wstring_view prefix = stem.substr(0, 3);
  if (!SameIgnoringAsciiCase<wchar_t>(prefix, L"COM") && !SameIgnoringAsciiCase<wchar_t>(prefix, L"LPT")) return false;
  const wchar_t digit = stem[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

bool IsPlainComponent(std::wstring_view component) {
  if (component.empty()) return false;
  if (component.find_first_not_of(L'.') == std::wstring_view::npos) return false;
  if (component.back() == L'.' || component.back() == L' ') return false;
  for (const wchar_t c : component) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return !IsDeviceName(component);
}

bool IsForbiddenInFileNames(wchar_t c) {
  return c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|';
}

}  // namespace

std::optional<std::wstring> WrittenRelativePath(std::wstring_view memberPath) {
  while (memberPath.size() >= 2 && memberPath[0] == L'.' && memberPath[1] == L'/') memberPath.remove_prefix(2);
  if (memberPath.empty() || memberPath[0] == L'/' || memberPath[0] == L'\\') return std::nullopt;
  if (memberPath.size() >= 2 && memberPath[1] == L':') return std::nullopt;  // a drive

  std::wstring path;
  path.reserve(memberPath.size());
  for (std::size_t i = 0; i < memberPath.size(); ++i) {
    const wchar_t c = memberPath[i];
    if (c == L'\\') {
      // The listing doubles a real backslash; any other escape stands for
      // a character no file name can hold.
      if (i + 1 >= memberPath.size() || memberPath[i + 1] != L'\\') return std::nullopt;
      path.push_back(L'\\');
      ++i;
    } else if (c == L'/') {
      path.push_back(L'\\');
    } else {
      path.push_back(IsForbiddenInFileNames(c) ? L'_' : c);
    }
  }
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    if (!IsPlainComponent(std::wstring_view(path).substr(start, end - start))) return std::nullopt;
    start = end + 1;
  }
  return path;
}

std::optional<TopLevelWrite> TopLevelWriteOf(std::string_view listedBytes, std::wstring_view printedPath,
                                             std::wstring_view writtenRelative) {
  const std::size_t lastSlash = listedBytes.rfind('/');
  const std::size_t printedSlash = printedPath.rfind(L'/');
  const std::size_t writtenSlash = writtenRelative.rfind(L'\\');
  if (lastSlash == std::string_view::npos || printedSlash == std::wstring_view::npos ||
      writtenSlash == std::wstring_view::npos || printedPath.find(L'\\') != std::wstring_view::npos) {
    return std::nullopt;
  }
  const std::string_view name = listedBytes.substr(lastSlash + 1);
  if (name.empty() || name.find('\\') != std::string_view::npos) return std::nullopt;
  // Every separator byte up to the last "/" ends a level for the tool; past
  // them it skips no more, as the name starts with neither.
  unsigned levels = 0;
  for (const char c : listedBytes.substr(0, lastSlash + 1)) {
    if (c == '/' || c == '\\') ++levels;
  }
  return TopLevelWrite{levels, std::wstring(writtenRelative.substr(writtenSlash + 1)),
                       std::wstring(printedPath.substr(printedSlash + 1))};
}

std::wstring EscapeMemberPattern(std::wstring_view memberPath) {
  std::wstring pattern;
  pattern.reserve(memberPath.size() + 8);
  for (std::size_t i = 0; i < memberPath.size(); ++i) {
    const wchar_t c = memberPath[i];
    const bool wildcard = c == L'*' || c == L'?' || c == L'[' || c == L']';
    const bool anchor = (c == L'^' && i == 0) || (c == L'$' && i + 1 == memberPath.size());
    if (wildcard || anchor) pattern.push_back(L'\\');
    pattern.push_back(c);
  }
  return pattern;
}

std::wstring MatchKey(std::wstring_view memberPath) { return MatchKeyOf(memberPath); }

namespace {

// The printed path with kAnyUnit where the pattern has a wildcard. "/" and
// "." steps stay: the matcher reads them as structure, not as units.
std::wstring MarkWildcards(std::wstring_view printedPath, Wildcards wildcards) {
  std::wstring marked(printedPath);
  for (std::size_t start = 0; start <= marked.size();) {
    std::size_t end = marked.find(L'/', start);
    if (end == std::wstring::npos) end = marked.size();
    const bool dotStep = end - start == 1 && marked[start] == L'.';
    for (std::size_t i = start; i < end && !dotStep; ++i) {
      if (wildcards == Wildcards::EveryUnit || marked[i] == L'?') marked[i] = kAnyUnit;
    }
    start = end + 1;
  }
  return marked;
}

}  // namespace

std::wstring PatternKey(std::wstring_view printedPath, Wildcards wildcards) {
  return MatchKey(MarkWildcards(printedPath, wildcards));
}

std::optional<std::wstring> MemberPattern(std::wstring_view printedPath, Wildcards wildcards) {
  if (wildcards == Wildcards::EveryUnit && printedPath.find(L'\\') != std::wstring_view::npos) return std::nullopt;
  const std::wstring marked = MarkWildcards(printedPath, wildcards);
  std::wstring pattern;
  pattern.reserve(marked.size() + 8);
  std::size_t literalStart = 0;
  for (std::size_t i = 0; i <= marked.size(); ++i) {
    if (i < marked.size() && marked[i] != kAnyUnit) continue;
    const std::wstring_view literal = std::wstring_view(marked).substr(literalStart, i - literalStart);
    std::wstring escaped = EscapeMemberPattern(literal);
    // Anchors count only at the ends of the whole pattern.
    if (literalStart > 0 && !escaped.empty() && escaped.rfind(L"\\^", 0) == 0) escaped.erase(0, 1);
    if (i < marked.size() && escaped.size() >= 2 && escaped.compare(escaped.size() - 2, 2, L"\\$") == 0) {
      escaped.erase(escaped.size() - 2, 1);
    }
    pattern += escaped;
    if (i < marked.size()) pattern.push_back(L'?');
    literalStart = i + 1;
  }
  return pattern;
}

bool HasWildcard(std::wstring_view patternKey) { return patternKey.find(kAnyUnit) != std::wstring_view::npos; }

MatchKind MatchOf(std::wstring_view entryKey, std::wstring_view patternKey) {
  if (entryKey.size() < patternKey.size()) return MatchKind::None;
  for (std::size_t i = 0; i < patternKey.size(); ++i) {
    if (patternKey[i] != kAnyUnit && patternKey[i] != entryKey[i]) return MatchKind::None;
  }
  if (entryKey.size() == patternKey.size()) return MatchKind::Same;
  return entryKey[patternKey.size()] == L'/' ? MatchKind::Below : MatchKind::None;
}

bool IsPlainFileName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  return name.find_first_of(L"\\/:") == std::wstring_view::npos;
}

}  // namespace qibor
