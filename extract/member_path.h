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

// The member as a pattern that matches only itself: the tool's wildcard
// characters are escaped with "\". A backslash comes escaped from the listing
// already and stays as it is.
std::wstring EscapeMemberPattern(std::wstring_view memberPath);

// The path as the tool's matcher compares it: leading "./", empty and "."
// components dropped ("d//b.jpg", "./d/./b.jpg" and "d/b.jpg" are one name
// to it). Works on the tool's bytes: "/" and "." are never part of a
// multi-byte character.
std::string MatchKey(std::string_view memberPath);

// How an entry's key relates to the member's key under the tool's matcher: a
// member argument also selects every entry below it ("cover.jpg" takes
// "cover.jpg/pad.bin").
enum class MatchKind { None, Same, Below };
MatchKind MatchOf(std::string_view entryKey, std::string_view memberKey);

// A name that can be written as one file directly inside a folder.
bool IsPlainFileName(std::wstring_view name);

}  // namespace qibor
