#pragma once
// What an extraction run left in the request folder.
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qibor {

// True when the folder holds the file at `relative` (a plain file, not a
// link), the folders on its way, the named files at its top, and nothing
// else: the run wrote exactly the member asked for.
bool OnlyFileWritten(const std::wstring& folder, const std::wstring& relative,
                     std::span<const std::wstring_view> alsoAtTop);

// The relative path of the one file in the folder, when the folder holds
// that file (not a link), the folders on its way, the named files at its top
// and nothing else.
std::optional<std::wstring> TheOnlyFileWritten(const std::wstring& folder,
                                               std::span<const std::wstring_view> alsoAtTop);

// Whether the tool prints the file it wrote at `written` (relative, "\"
// between levels) as `printedPath`: each real unit converted to the code
// page as the tool converts it ("?" where it cannot show one, a look-alike
// where it has one), "_" where the tool writes that for a character Windows
// forbids in names.
bool PrintsAs(std::wstring_view written, std::wstring_view printedPath, unsigned codePage);

// The text after the last `separator`.
std::wstring_view LastComponent(std::wstring_view path, wchar_t separator);

}  // namespace qibor
