#pragma once
// Turning a member path from the listing into the tool's member argument and
// into the path the tool writes it to, and judging which other entries the
// tool would take for it. Pure, no Windows header.
#include <optional>
#include <string>
#include <string_view>

namespace qibor {

// Where the tool writes the member below its current folder, as a relative
// Windows path: a leading "./" goes, "/" and an escaped backslash from the
// listing become "\", and each character Windows forbids in file names
// becomes "_". No value unless every component is a plain name: not empty,
// not made of dots, no trailing dot or space, no device name, no control
// character, no drive or root. Windows would resolve any of those to another
// file than the one named, possibly outside the folder.
std::optional<std::wstring> WrittenRelativePath(std::wstring_view memberPath);

// A member in a folder written at the top of the run's folder instead: the
// tool strips its folders ("--strip-components"), so none is made, walked or
// removed. The tool counts levels in the bytes of the name it holds, where on
// Windows a "\" byte ends one too, and in a double-byte code page such a
// byte can be the second half of a character ("ソ" is 83 5C in code page
// 932). For a path the tool printed plainly (no escape), with at least one
// folder level in what WrittenRelativePath makes of it; no value when the
// file's own name holds a "\" byte, as the tool would cut it there.
struct TopLevelWrite {
  unsigned strippedLevels = 0;
  std::wstring writtenName;  // the file at the top, as WrittenRelativePath spells it
  std::wstring printedName;  // the name the tool's messages give it
};
std::optional<TopLevelWrite> TopLevelWriteOf(std::string_view listedBytes, std::wstring_view printedPath,
                                             std::wstring_view writtenRelative);

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

// A name that can be written as one file directly inside a folder.
bool IsPlainFileName(std::wstring_view name);

}  // namespace qibor
