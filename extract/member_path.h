#pragma once
// Turning a member path from the listing into the tool's member argument and
// into the path the tool writes it to. Pure, no Windows header.
#include <string>
#include <string_view>

namespace qibor {

// False for a path that is absolute, starts with a drive, or has ".." steps:
// such a member would land outside the work folder.
bool IsSafeMemberPath(std::wstring_view memberPath);

// The member as a pattern that matches only itself: the tool's wildcard
// characters are escaped with "\". A backslash comes escaped from the listing
// already and stays as it is.
std::wstring EscapeMemberPattern(std::wstring_view memberPath);

// Where the tool writes the member below its -C folder: "/" becomes "\",
// an escaped backslash from the listing is one backslash, and each character
// Windows forbids in file names becomes "_".
std::wstring ExtractedRelativePath(std::wstring_view memberPath);

// A name that can be written as one file directly inside a folder.
bool IsPlainFileName(std::wstring_view name);

}  // namespace qibor
