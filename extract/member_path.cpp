#include "extract/member_path.h"

namespace qibor {

bool IsSafeMemberPath(std::wstring_view memberPath) {
  if (memberPath.empty()) return false;
  if (memberPath[0] == L'/' || memberPath[0] == L'\\') return false;
  if (memberPath.size() >= 2 && memberPath[1] == L':') return false;
  std::size_t start = 0;
  while (start <= memberPath.size()) {
    std::size_t end = memberPath.find_first_of(L"/\\", start);
    if (end == std::wstring_view::npos) end = memberPath.size();
    if (memberPath.substr(start, end - start) == L"..") return false;
    start = end + 1;
  }
  return true;
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

std::wstring ExtractedRelativePath(std::wstring_view memberPath) {
  std::wstring path;
  path.reserve(memberPath.size());
  for (std::size_t i = 0; i < memberPath.size(); ++i) {
    const wchar_t c = memberPath[i];
    if (c == L'\\' && i + 1 < memberPath.size() && memberPath[i + 1] == L'\\') {
      path.push_back(L'\\');
      ++i;
    } else if (c == L'/') {
      path.push_back(L'\\');
    } else if (c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|') {
      path.push_back(L'_');
    } else {
      path.push_back(c);
    }
  }
  return path;
}

bool IsPlainFileName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  return name.find_first_of(L"\\/:") == std::wstring_view::npos;
}

}  // namespace qibor
