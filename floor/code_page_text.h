#pragma once
// Text between a code page and UTF-16, any length. A code page's bytes that
// do not convert give an empty text rather than a partial one.
#include <windows.h>

#include <string>
#include <string_view>

namespace qibor {

std::wstring DecodeText(std::string_view bytes, UINT codePage);
// The same into `text`, reusing its storage. With `asciiAsIs` (what
// KeepsAscii says of the code page), a text of ASCII bytes is widened as it
// stands, without a call into Windows.
void DecodeTextInto(std::string_view bytes, UINT codePage, std::wstring& text, bool asciiAsIs = false);
// Whether the code page turns each byte from 1 to 0x7F into the same unit,
// as UTF-8 and the ANSI code pages do. Checked, not assumed.
bool KeepsAscii(UINT codePage);
// The text in the code page, "?" (or the code page's best fit) for a unit
// it cannot show.
std::string EncodeText(std::wstring_view text, UINT codePage);

}  // namespace qibor
