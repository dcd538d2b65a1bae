#pragma once
// Turning a member path from the listing into the tool's member argument,
// and judging which other entries the tool would take for it. Pure, no
// Windows header.
#include <optional>
#include <string>
#include <string_view>

namespace qibor {

// The member as a pattern that matches only itself: the tool's wildcard
// characters are escaped with "\". A backslash comes escaped from the listing
// already and stays as it is.
std::wstring EscapeMemberPattern(std::wstring_view memberPath);

// The tool prints a UTF-16 unit its code page cannot show as "?", and may
// print a look-alike for others ("a" for "ā"); its "?" wildcard matches any
// one unit of the real name. A member argument is built from the printed
// path with wildcards where the real units may differ:
enum class Wildcards {
  Unshown,    // each printed "?" (a real "?" is matched too)
  EveryUnit,  // every unit but "/" and a leading "./": matches every name of the same shape
};

// In a pattern key, a unit any one unit matches.
inline constexpr wchar_t kAnyUnit = L'\xFFFF';

// The path as the tool's matcher compares it: leading "./", empty and "."
// components dropped ("d//b.jpg", "./d/./b.jpg" and "d/b.jpg" are one name
// to it).
std::wstring MatchKey(std::wstring_view memberPath);
// The same for the argument built from a printed path, with kAnyUnit where
// it has wildcards.
std::wstring PatternKey(std::wstring_view printedPath, Wildcards wildcards);
// The argument itself: wildcards as "?", every other pattern character
// escaped. No value where a printed unit does not stand for one real unit
// (an escape such as "\\" under EveryUnit).
std::optional<std::wstring> MemberPattern(std::wstring_view printedPath, Wildcards wildcards);
// Whether the pattern holds a wildcard.
bool HasWildcard(std::wstring_view patternKey);

// How an entry's key relates to a pattern key under the tool's matcher: a
// member argument also selects every entry below it ("cover.jpg" takes
// "cover.jpg/pad.bin").
enum class MatchKind { None, Same, Below };
MatchKind MatchOf(std::wstring_view entryKey, std::wstring_view patternKey);

}  // namespace qibor
