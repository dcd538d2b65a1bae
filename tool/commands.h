#pragma once
// The tool's command lines. The archive always comes on standard input
// ("-"), and every argument is quoted, so no file-system path and no member
// name reaches the tool's option parser as anything but itself.
#include <string>
#include <string_view>
#include <vector>

namespace qibor {

// Quotes one argument so that the C runtime's parser gives it back unchanged.
std::wstring QuoteArgument(std::wstring_view argument);

// "TOOL" tf -
std::wstring PlainListingCommand(const std::wstring& toolPath);
// "TOOL" tvf -
std::wstring VerboseListingCommand(const std::wstring& toolPath);
// "TOOL" tvf - -- PATTERN...: what the member arguments really select.
std::wstring SelectionListingCommand(const std::wstring& toolPath, const std::vector<std::wstring>& patterns);

// What one extraction run writes: the entries `pattern` selects, less what
// lies below it (excludeBelow) and less each of `exclusions`.
struct ExtractionArguments {
  std::wstring pattern;
  bool stopAtFirst = true;  // -q: the run ends once its first match is out
  bool excludeBelow = false;
  std::vector<std::wstring> exclusions;
  unsigned strippedLevels = 0;  // folder levels the tool drops from the name it writes
};
// "TOOL" xqf - [--strip-components N] -- PATTERN, or "TOOL" xf - --exclude ... -- PATTERN
std::wstring ExtractionCommand(const std::wstring& toolPath, const ExtractionArguments& arguments);

}  // namespace qibor
