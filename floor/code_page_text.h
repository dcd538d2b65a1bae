#pragma once
// Text between a code page and UTF-16, any length. A code page's bytes that
// do not convert give an empty text rather than a partial one.
#include <windows.h>

#include <string>
#include <string_view>

namespace qibor {

std::wstring DecodeText(std::string_view bytes, UINT codePage);
// The text in the code page, "?" (or the code page's best fit) for a unit
// it cannot show.
std::string EncodeText(std::wstring_view text, UINT codePage);

}  // namespace qibor
