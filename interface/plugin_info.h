#pragma once
// The four texts a host asks a plug-in for by index.
#include <string>
#include <string_view>

#include "interface/settings_text.h"

namespace qibor {

// Every occurrence of needle replaced by replacement.
std::wstring ReplaceAll(std::wstring text, std::wstring_view needle, std::wstring_view replacement);

// Index 0 "00AM", 1 "qibor by Jov", 2 the `ext` patterns with "," as ";",
// 3 "tar file"; no value for any other index.
bool PluginInfoText(int index, const Settings& settings, std::wstring& text);

// Copies as much of text as fits a host buffer of `capacity` units with its
// terminator, never splitting a surrogate pair. Returns the units copied.
int CopyToHostBuffer(std::wstring_view text, wchar_t* buffer, int capacity);

}  // namespace qibor
