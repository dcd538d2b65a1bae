#include "extract/member_path.h"

#include "listing/entries.h"

namespace qibor {

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

}  // namespace qibor
