#pragma once
// What an extraction run left in the request folder.
#include <initializer_list>
#include <string>
#include <string_view>

namespace qibor {

// True when the folder holds the file at `relative` (a plain file, not a
// link), the folders on its way, the named files at its top, and nothing
// else: the run wrote exactly the member asked for.
bool OnlyFileWritten(const std::wstring& folder, const std::wstring& relative,
                     std::initializer_list<std::wstring_view> alsoAtTop);

// The text after the last `separator`.
std::wstring_view LastComponent(std::wstring_view path, wchar_t separator);

}  // namespace qibor
